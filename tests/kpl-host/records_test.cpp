// What the host writes down: the event stream's lines and the history
// database's rows.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "apps/kpl-host/core/device_slot.h"
#include "apps/kpl-host/outputs/event_log.h"
#include "apps/kpl-host/storage/history_store.h"
#include "testkit/process.h"
#include "testkit/temp_path.h"

namespace {

using namespace kplhost;

TEST(EventStream, LinesAsTheReadmeShowsThem) {
  const std::string path = unique_temp_path(".jsonl");
  DeviceConfig cfg;
  cfg.device_number = 7;
  DeviceSlot slot(cfg);
  {
    EventLog log(path);
    log.threshold(slot, "water_value", "水浸", 3.14f, 1);
    log.threshold(slot, "humid_1_value", "湿度\"1\"", std::nanf(""), 7);
    log.alarm_point(slot, 1, "QLT_0", "02401", "市电输入告警", "Number_1_UPS_Alarm_", false, 15);
    const unsigned char image[] = {7, 0, 0xab, 0xff};
    log.publish(slot, 5273, image, 4);
    rule_value r{rule_alarm, "QLT_153", "设备通讯状态", 53, 1, "02553", "空调1", rule_in_alarm};
    std::vector<rule_value> records{r};
    RoundSummary s{4, records.size(), {AlarmChange{true, r}}};
    log.round(slot, s);
  }
  EXPECT_EQ(
      read_text(path),
      R"({"event":"threshold","device":7,"name":"water_value","desc":"水浸","bits":1078523331,"value":3.14,"number":1}
{"event":"threshold","device":7,"name":"humid_1_value","desc":"湿度\"1\"","bits":2143289344,"value":null,"number":7}
{"event":"alarm_point","device":7,"one":1,"id":"QLT_0","code":"02401","desc":"市电输入告警","label":"Number_1_UPS_Alarm_","flag":false,"number":15}
{"event":"publish","device":7,"image_id":5273,"size":4,"image":"0700abff"}
{"event":"alarm","device":7,"state":"raised","round":4,"id":"QLT_153","code":"02553","desc":"设备通讯状态","label":"空调1","number":53}
{"event":"round","device":7,"round":4,"records":1,"changes":1}
)");
  std::remove(path.c_str());
}

TEST(EventStream, UnwritablePathIsNamed) {
  try {
    EventLog log("/nonexistent/dir/events.jsonl");
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()).rfind("/nonexistent/dir/events.jsonl: cannot open", 0), 0u);
  }
}

class History : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path + suffix).c_str());
  }
  static HistoryRow row(unsigned int device, std::int64_t unix_s,
                        std::vector<unsigned char> image) {
    return {device, unix_s, "t" + std::to_string(unix_s), std::move(image)};
  }
  std::string path = unique_temp_path(".db");
};

TEST_F(History, NewestImageSurvivesReopening) {
  {
    HistoryStore h(path);
    EXPECT_FALSE(h.newest(7).has_value());
    h.save_all({row(7, 100, {1, 2, 3}), row(8, 101, {1, 2, 3})});
    h.save_all({row(7, 102, {4, 5})});
  }
  HistoryStore h(path);
  const auto row = h.newest(7);
  ASSERT_TRUE(row.has_value());
  EXPECT_EQ(row->local_time, "t102");
  EXPECT_EQ(row->unix_s, 102);
  EXPECT_EQ(row->image, (std::vector<unsigned char>{4, 5}));
  EXPECT_EQ(h.count(7), 2);
  EXPECT_EQ(h.count(8), 1);
}

// Images older than the days kept go, oldest first, then the oldest beyond
// the size; the size is counted as it is bounded, across a reopening.
TEST_F(History, PruneKeepsTheDaysAndTheSize) {
  const std::int64_t day = 86400, now = 1800000000;
  const std::vector<unsigned char> image(1000, 7);
  {
    HistoryStore h(path);
    std::vector<HistoryRow> rows;
    for (std::int64_t t = now - 10 * day; t < now; t += day / 4) rows.push_back(row(7, t, image));
    h.save_all(rows);
    EXPECT_EQ(h.bytes(), 40 * 1064);
    EXPECT_EQ(h.prune(now, {3, 1LL << 30}), 28);
    EXPECT_EQ(h.count(7), 12);
    EXPECT_EQ(h.prune(now, {3, 1LL << 30}), 0);
  }
  HistoryStore h(path);
  EXPECT_EQ(h.bytes(), 12 * 1064);
  EXPECT_EQ(h.prune(now, {3, 5 * 1064}), 7);
  EXPECT_EQ(h.count(7), 5);
  EXPECT_EQ(h.bytes(), 5 * 1064);
  EXPECT_EQ(h.newest(7)->unix_s, now - day / 4);
}

TEST(HistoryFile, UnopenableDatabaseIsNamed) {
  try {
    HistoryStore h("/nonexistent/dir/h.db");
    FAIL();
  } catch (const HistoryError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("/nonexistent/dir/h.db: ", 0), 0u);
  }
}

}  // namespace
