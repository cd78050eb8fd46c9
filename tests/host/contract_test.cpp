// The host framework's defaults, as a plug-in relies on them.

#include <gtest/gtest.h>

#include <boost/date_time/posix_time/posix_time.hpp>

#include "host/kpl_socket_device.h"
#include "host/ttime.h"
#include "testkit/hex.h"

namespace {

class BareDevice : public KPLSocketDevice {
 public:
  int LoadFromCache(const unsigned char* data, int len) override {
    cached.assign(data, data + len);
    return 1;
  }
  using VDeviceInterface::LoadFromCache;
  Bytes cached;
};

TEST(HostDefaults, GetValueHasNoData) {
  BareDevice d;
  try {
    d.Get_Value("water_value");
    FAIL() << "no exception";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "数据未就绪");
  }
}

TEST(HostDefaults, StringCacheGoesToTheByteForm) {
  BareDevice d;
  const std::string cached("\x01\x00\x02", 3);
  EXPECT_EQ(d.LoadFromCache(cached), 1);
  EXPECT_EQ(d.cached, hex("01 00 02"));
}

TEST(HostDefaults, AccessorsAndNoOps) {
  BareDevice d;
  d.data_id = 107;
  d.device_type = "qltmodel";
  d.use_controller_db = true;
  EXPECT_EQ(d.DataId(), 107u);
  EXPECT_EQ(d.DeviceType(), "qltmodel");
  EXPECT_TRUE(d.UseControllerDb());
  EXPECT_EQ(d.Reset(), 1);
  EXPECT_EQ(d.DeviceIoControl(1, 2), 0);
  EXPECT_EQ(d.recv_len, 0);
}

TEST(HostDefaults, SocketInitReadsEndpointAndIgnoresWrongTypes) {
  BareDevice d;
  Json::Value good;
  good["ip"] = "10.0.0.1";
  good["port"] = 502;
  good["addr"] = 255;
  good["data_id"] = 9;
  good["ao_names"].append("temperature_1_value");
  EXPECT_EQ(d.Init({}, 3, good), 1);
  EXPECT_EQ(d.peer_ip, "10.0.0.1");
  EXPECT_EQ(d.peer_port, 502);
  EXPECT_EQ(d.dev_addr, 255);
  EXPECT_EQ(d.data_id, 9u);
  EXPECT_EQ(d.ao_names, std::vector<std::string>{"temperature_1_value"});

  Json::Value bad;
  bad["ip"] = 5;
  bad["port"] = 70000;
  bad["addr"] = -1;
  bad["data_id"] = "x";
  EXPECT_EQ(d.Init({}, 3, bad), 1);
  // Whole numbers past 64 bits are wrong types too, not an exception.
  bad["port"] = 1e19;
  bad["addr"] = Json::UInt64(18446744073709551615ULL);
  bad["data_id"] = true;
  EXPECT_EQ(d.Init({}, 3, bad), 1);
  EXPECT_EQ(d.peer_ip, "10.0.0.1");
  EXPECT_EQ(d.peer_port, 502);
  EXPECT_EQ(d.dev_addr, 255);
  EXPECT_EQ(d.data_id, 9u);
}

TEST(PackedTime, SevenBytesYearLittleEndianFirst) {
  using namespace boost::posix_time;
  using boost::gregorian::date;
  const ttime t = get_ttime(ptime(date(2026, 12, 8), hours(17) + minutes(5) + seconds(9)));
  EXPECT_EQ(to_hex(t.bytes, 7), "ea 07 0c 08 11 05 09");
  const ttime none = get_ttime(ptime(not_a_date_time));
  EXPECT_EQ(to_hex(none.bytes, 7), "00 00 00 00 00 00 00");
}

}  // namespace
