// The binary contract between host and plug-in: a host built from these
// headers calls the plug-in's operations through virtual slots by number, and
// lays the frame records over wire bytes. The contract requires both to stay
// as pinned here: a host relies on every slot number and record offset.

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "host/provider.h"
#include "model/qlt_model.h"
#include "plugin/qlt_model_provider.h"

namespace {

// The slot a pointer to a virtual member function refers to, read from its
// representation under the Itanium C++ ABI (and its ARM variant, which keeps
// the virtual flag in the adjustment instead of the pointer).
template <class C, class F>
long slot_of(F C::*pmf) {
  struct {
    std::uintptr_t ptr;
    std::ptrdiff_t adj;
  } rep;
  static_assert(sizeof pmf == sizeof rep, "member function pointers are two words");
  std::memcpy(&rep, &pmf, sizeof rep);
#if defined(__arm__) || defined(__aarch64__)
  if ((rep.adj & 1) == 0) return -1;
  return static_cast<long>(rep.ptr / sizeof(void*));
#else
  if ((rep.ptr & 1) == 0) return -1;
  return static_cast<long>((rep.ptr - 1) / sizeof(void*));
#endif
}

using V = VDeviceInterface;
using D = KPLVDevice;
using S = KPLSocketDevice;

TEST(SlotOrder, VDeviceInterface) {
  EXPECT_EQ(slot_of(&V::Get_Value), 0);
  EXPECT_EQ(slot_of(static_cast<int (V::*)(const std::string&)>(&V::LoadFromCache)), 1);
  EXPECT_EQ(slot_of(static_cast<int (V::*)(const unsigned char*, int)>(&V::LoadFromCache)), 2);
  EXPECT_EQ(slot_of(&V::DataId), 3);
  EXPECT_EQ(slot_of(&V::DeviceType), 4);
  EXPECT_EQ(
      slot_of(static_cast<int (V::*)(int, const Json::Value&, Json::Value&)>(&V::DeviceIoControl)),
      5);
  EXPECT_EQ(slot_of(&V::RoundDone), 6);
  EXPECT_EQ(slot_of(&V::UseControllerDb), 7);
  // Slots 8 and 9 hold the destructor (complete and deleting), which is why
  // KPLVDevice's first operation takes slot 10.
}

TEST(SlotOrder, KPLVDevice) {
  const long expected[] = {slot_of(&D::Reset),
                           slot_of(&D::InitV),
                           slot_of(&D::Init),
                           slot_of(&D::InitSetting),
                           slot_of(&D::IsSupportDevice),
                           slot_of(&D::GetChildVDevice),
                           slot_of(&D::GetAllChildVDevices),
                           slot_of(&D::SendSP),
                           slot_of(&D::SendDelayData),
                           slot_of(&D::SendDoData),
                           slot_of(&D::ReadDi),
                           slot_of(&D::ReadAi),
                           slot_of(&D::Get_SP_Value)};
  for (long i = 0; i < 13; ++i) EXPECT_EQ(expected[i], 10 + i) << "operation " << i;
}

TEST(SlotOrder, KPLSocketDevice) {
  using Raw = int (S::*)(int, const unsigned char*, unsigned int);
  using Gather = int (S::*)(int, const std::vector<boost::asio::const_buffer>&);
  using RawOwn = int (S::*)(const unsigned char*, unsigned int);
  using GatherOwn = int (S::*)(const std::vector<boost::asio::const_buffer>&);
  const long slots[] = {slot_of(&S::process),
                        slot_of(&S::process_data),
                        slot_of(&S::OnConnected),
                        slot_of(&S::RefreshStatus),
                        slot_of(static_cast<int (S::*)(int, int)>(&S::DeviceIoControl)),
                        slot_of(&S::StartSocket),
                        slot_of(&S::CloseSocket),
                        slot_of(static_cast<Raw>(&S::SendSocketData)),
                        slot_of(static_cast<Gather>(&S::SendSocketData)),
                        slot_of(static_cast<RawOwn>(&S::SendSocketData)),
                        slot_of(static_cast<GatherOwn>(&S::SendSocketData))};
  for (long i = 0; i < 11; ++i) EXPECT_EQ(slots[i], 23 + i) << "operation " << i;
  // Overriding Init adds no slot.
  EXPECT_EQ(slot_of(&S::Init), 12);
}

TEST(SlotOrder, PluginClassesAppendAfterTheHost) {
  EXPECT_EQ(slot_of(&QLTProtocol::process_payload), 34);
  EXPECT_EQ(slot_of(&QLTProtocol::process_error), 35);
  using Buffer = UniBufferDevice<QLTProtocol, 5273>;
  EXPECT_EQ(slot_of(&Buffer::RunCheckThreshold), 36);
  // The model overrides in place and adds nothing.
  EXPECT_EQ(slot_of(&QLTModel::RunCheckThreshold), 36);
  EXPECT_EQ(slot_of(&QLTModel::process_payload), 34);
  EXPECT_EQ(slot_of(&QLTModel::process_error), 35);
  EXPECT_EQ(slot_of(&QLTModel::RefreshStatus), 26);
  EXPECT_EQ(slot_of(&QLTModel::Init), 12);
  EXPECT_EQ(slot_of(&QLTModel::process_data), 24);
  EXPECT_EQ(
      slot_of(static_cast<int (QLTModel::*)(const unsigned char*, int)>(&QLTModel::LoadFromCache)),
      2);
}

TEST(SlotOrder, Providers) {
  // Slots 0 and 1 are the destructor.
  EXPECT_EQ(slot_of(&KPLSocketDeviceProvider::create), 2);
  EXPECT_EQ(slot_of(&QLTModelProvider::create), 2);
}

TEST(SlotOrder, EveryDeviceBaseSharesTheObjectAddress) {
  QLTModel m;
  const void* self = &m;
  EXPECT_EQ(static_cast<const void*>(static_cast<VDeviceInterface*>(&m)), self);
  EXPECT_EQ(static_cast<const void*>(static_cast<KPLVDevice*>(&m)), self);
  EXPECT_EQ(static_cast<const void*>(static_cast<KPLSocketDevice*>(&m)), self);
}

// Field offsets, found by writing each field and looking where its bytes land.
template <class Record, class Set>
std::vector<int> bytes_written(Set set) {
  unsigned char raw[sizeof(Record)] = {};
  Record* r = reinterpret_cast<Record*>(raw);
  set(*r);
  std::vector<int> at;
  for (int i = 0; i < int(sizeof raw); ++i)
    if (raw[i]) at.push_back(i);
  return at;
}

TEST(FrameRecords, SizesAndOffsets) {
  EXPECT_EQ(sizeof(rdu_header), 8u);
  EXPECT_EQ(sizeof(rdu_read), 12u);
  EXPECT_EQ(alignof(rdu_read_reply), 1u);
  using Want = std::vector<int>;
  EXPECT_EQ(bytes_written<rdu_read>([](rdu_read& r) { r.trans_id = 0xffff; }), (Want{0, 1}));
  EXPECT_EQ(bytes_written<rdu_read>([](rdu_read& r) { r.proto_id = 0xffff; }), (Want{2, 3}));
  EXPECT_EQ(bytes_written<rdu_read>([](rdu_read& r) { r.length = 0xffff; }), (Want{4, 5}));
  EXPECT_EQ(bytes_written<rdu_read>([](rdu_read& r) { r.unit_id = 0xff; }), (Want{6}));
  EXPECT_EQ(bytes_written<rdu_read>([](rdu_read& r) { r.func_code = 0xff; }), (Want{7}));
  EXPECT_EQ(bytes_written<rdu_read>([](rdu_read& r) { r.start_addr = 0xffff; }), (Want{8, 9}));
  EXPECT_EQ(bytes_written<rdu_read>([](rdu_read& r) { r.quantity = 0xffff; }), (Want{10, 11}));
  EXPECT_EQ(bytes_written<rdu_read_reply>([](rdu_read_reply& r) { r.byte_count = 0xff; }),
            (Want{8}));
  EXPECT_EQ(bytes_written<rdu_read_reply>([](rdu_read_reply& r) { r.data[0] = 0xff; }), (Want{9}));
}

TEST(FrameRecords, ReadAtAnOddAddress) {
  unsigned char raw[1 + sizeof(rdu_read)] = {0, 0x12, 0x34, 0, 0, 0, 6, 1, 3, 0, 0x64, 0, 0x32};
  const rdu_read* r = reinterpret_cast<const rdu_read*>(raw + 1);
  EXPECT_EQ(ntohs(r->trans_id), 0x1234);
  EXPECT_EQ(ntohs(r->start_addr), 100);
  EXPECT_EQ(ntohs(r->quantity), 50);
}

}  // namespace
