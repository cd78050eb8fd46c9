// What the host writes down: the event stream's lines and the history
// database's rows.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <regex>

#include "apps/kpl-host/core/device_slot.h"
#include "apps/kpl-host/outputs/event_log.h"
#include "apps/kpl-host/storage/history_store.h"
#include "testkit/process.h"
#include "testkit/temp_path.h"

namespace {

using namespace kplhost;

TEST(EventStream, LinesAsTheOperatorsGuideShowsThem) {
  const std::string path = unique_temp_path(".jsonl");
  DeviceConfig cfg;
  cfg.device_number = 7;
  DeviceSlot slot(cfg);
  {
    ThreadGuard threads;
    EventLog log(path, threads);
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
  // Every line carries the wall-clock time it was made, with its offset.
  const std::regex stamp(R"(,"time":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d"\})");
  const std::string text = read_text(path);
  EXPECT_EQ(
      std::distance(std::sregex_iterator(text.begin(), text.end(), stamp), std::sregex_iterator()),
      6)
      << text;
  EXPECT_EQ(
      std::regex_replace(text, stamp, "}"),
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
    ThreadGuard threads;
    EventLog log("/nonexistent/dir/events.jsonl", threads);
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
  std::string path = unique_temp_path(".db");
};

TEST_F(History, NewestImageSurvivesReopening) {
  {
    HistoryStore h(path, 100);
    EXPECT_FALSE(h.newest(7).has_value());
    const unsigned char a[] = {1, 2, 3}, b[] = {4, 5};
    h.save(7, "2026-12-08 10:00:00", a, 3);
    h.save(8, "2026-12-08 10:00:01", a, 3);
    h.save(7, "2026-12-08 10:00:02", b, 2);
  }
  HistoryStore h(path, 100);
  const auto row = h.newest(7);
  ASSERT_TRUE(row.has_value());
  EXPECT_EQ(row->local_time, "2026-12-08 10:00:02");
  EXPECT_EQ(row->image, (std::vector<unsigned char>{4, 5}));
  EXPECT_EQ(h.count(7), 2);
  EXPECT_EQ(h.count(8), 1);
}

TEST_F(History, OldRowsArePrunedPerDevice) {
  HistoryStore h(path, 5);
  const unsigned char img[] = {9};
  for (int i = 0; i < 40; ++i) {
    h.save(7, "t", img, 1);
    h.save(8, "t", img, 1);
  }
  EXPECT_GE(h.count(7), 5);
  EXPECT_LT(h.count(7), 15);
  EXPECT_LT(h.count(8), 15);
}

TEST(HistoryFile, UnopenableDatabaseIsNamed) {
  try {
    HistoryStore h("/nonexistent/dir/h.db", 10);
    FAIL();
  } catch (const HistoryError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("/nonexistent/dir/h.db: ", 0), 0u);
  }
}

}  // namespace
