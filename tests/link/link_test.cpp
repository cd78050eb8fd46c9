// Request records, byte order, and the opening of the connection.

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "testkit/frames.h"
#include "testkit/recording_host.h"
#include "tests/link/probe_protocol.h"

namespace {

Bytes bytes_of(const rdu_read& r) {
  const auto* p = reinterpret_cast<const unsigned char*>(&r);
  return Bytes(p, p + sizeof r);
}

TEST(RequestRecord, FreshRecordFromVectorIsZerosAndQuantity50InHostOrder) {
  std::vector<rdu_read> v;
  v.resize(3);
  for (const rdu_read& r : v) EXPECT_EQ(bytes_of(r), hex("00 00 00 00 00 00 00 00 00 00 32 00"));
}

TEST(RequestRecord, HtonMakesTheWireRequest) {
  ProbeProtocol p;
  p.dev_addr = 1;
  std::vector<rdu_read> v(1);
  v[0].start_addr = 100;
  p.hton(v[0]);
  EXPECT_EQ(bytes_of(v[0]), hex("00 00 00 00 00 06 01 03 00 64 00 32"));
}

TEST(RequestRecord, HtonOverwritesLengthUnitAndFunctionButKeepsIdentifiers) {
  ProbeProtocol p;
  p.dev_addr = 0xfe;
  std::vector<rdu_read> v(1);
  std::memset(static_cast<void*>(&v[0]), 0xaa, sizeof v[0]);
  v[0].trans_id = 0x0102;
  v[0].proto_id = 0x0304;
  v[0].start_addr = 0x0506;
  v[0].quantity = 11;
  p.hton(v[0]);
  EXPECT_EQ(bytes_of(v[0]), hex("01 02 03 04 00 06 fe 03 05 06 00 0b"));
}

TEST(ReplyConversion, SwapsEachWordOfTheDataAndNothingElse) {
  ProbeProtocol p;
  Bytes buf = hex("00 00 00 00 00 0b 01 03 08 12 34 56 78 9a bc de f0");
  buf.resize(sizeof(rdu_read_reply));
  p.ntoh(*reinterpret_cast<rdu_read_reply*>(buf.data()));
  buf.resize(17);
  EXPECT_EQ(buf, hex("00 00 00 00 00 0b 01 03 08 34 12 78 56 bc 9a f0 de"));
}

TEST(ReplyConversion, ConvertsByteCountOverTwoWords) {
  struct Case {
    int byte_count;
    int words;
  } cases[] = {{200, 100}, {0, 0}, {7, 3}, {255, 127}};
  for (const Case& c : cases) {
    ProbeProtocol p;
    Bytes buf = counting_bytes(sizeof(rdu_read_reply), 0);
    buf[8] = static_cast<unsigned char>(c.byte_count);
    const Bytes before = buf;
    p.ntoh(*reinterpret_cast<rdu_read_reply*>(buf.data()));
    for (size_t i = 0; i < buf.size(); ++i) {
      const bool swapped = i >= 9 && i < size_t(9 + 2 * c.words);
      const size_t partner = ((i - 9) % 2 == 0) ? i + 1 : i - 1;
      EXPECT_EQ(buf[i], swapped ? before[partner] : before[i])
          << "byte_count " << c.byte_count << " offset " << i;
    }
  }
}

TEST(Connection, InitTakesEndpointFromConfigAndStoresTheHandle) {
  RecordingHost host;
  host.socket_handle = 42;
  ProbeProtocol p;
  p.services = &host.services;
  Json::Value config;
  config["ip"] = "127.0.0.9";
  config["port"] = 1502;
  config["addr"] = 5;
  config["data_id"] = 107;
  EXPECT_EQ(p.Init({}, 7, config), 1);
  ASSERT_EQ(host.calls.size(), 1u);
  EXPECT_EQ(host.calls[0].kind, HostCall::start_socket);
  EXPECT_EQ(host.calls[0].name, "127.0.0.9");
  EXPECT_EQ(host.calls[0].port, 1502);
  EXPECT_EQ(p.socket_id, 42);
  EXPECT_EQ(p.dev_addr, 5);
  EXPECT_EQ(p.DataId(), 107u);
  EXPECT_EQ(p.device_number, 7u);
}

TEST(Connection, SendsGoThroughTheStoredHandle) {
  RecordingHost host;
  ProbeProtocol p;
  p.services = &host.services;
  p.socket_id = 9;
  const Bytes req = hex("00 00 00 00 00 06 01 03 00 00 00 14");
  EXPECT_EQ(p.SendSocketData(req.data(), static_cast<unsigned int>(req.size())), 12);
  ASSERT_EQ(host.sent().size(), 1u);
  EXPECT_EQ(host.sent()[0], req);
  EXPECT_EQ(host.calls[0].number, 9);
}

}  // namespace
