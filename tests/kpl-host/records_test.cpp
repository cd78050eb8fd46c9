// What the host writes down: the event stream's lines and the history
// database's rows.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <regex>

#include "apps/kpl-host/core/device_slot.h"
#include "apps/kpl-host/outputs/event_log.h"
#include "apps/kpl-host/outputs/line_limiter.h"
#include "apps/kpl-host/outputs/stdout_filter.h"
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
    ListedAlarm acked;
    acked.seq = 12;
    acked.fields = R"("round":4,"id":"QLT_153","number":53)";
    acked.ack_by = "alice \"a\"";
    acked.ack_time = "2026-12-08 17:05:09";
    log.acknowledged(slot, acked);
  }
  // Every line carries the wall-clock time it was made, with its offset.
  const std::regex stamp(R"(,"time":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d"\})");
  const std::string text = read_text(path);
  EXPECT_EQ(
      std::distance(std::sregex_iterator(text.begin(), text.end(), stamp), std::sregex_iterator()),
      7)
      << text;
  EXPECT_EQ(
      std::regex_replace(text, stamp, "}"),
      R"({"event":"threshold","device":7,"name":"water_value","desc":"水浸","bits":1078523331,"value":3.14,"number":1}
{"event":"threshold","device":7,"name":"humid_1_value","desc":"湿度\"1\"","bits":2143289344,"value":null,"number":7}
{"event":"alarm_point","device":7,"one":1,"id":"QLT_0","code":"02401","desc":"市电输入告警","label":"Number_1_UPS_Alarm_","flag":false,"number":15}
{"event":"publish","device":7,"image_id":5273,"size":4,"image":"0700abff"}
{"event":"alarm","device":7,"state":"raised","round":4,"id":"QLT_153","code":"02553","desc":"设备通讯状态","label":"空调1","number":53}
{"event":"round","device":7,"round":4,"records":1,"changes":1}
{"event":"acknowledged","device":7,"seq":12,"round":4,"id":"QLT_153","number":53,"by":"alice \"a\"","ack_time":"2026-12-08 17:05:09"}
)");
  std::remove(path.c_str());
}

// A unit flooding the plug-in's lines: twenty of a kind a minute pass as
// written, the rest are counted and said in one line at the minute's end (or
// at the end of the output); the host's own lines always pass.
TEST(DiagnosticLines, LimitedPerDeviceAndKindAndTheRestCounted) {
  using kplhost::LineLimiter;
  LineLimiter limiter;
  const auto t0 = LineLimiter::Clock::time_point{} + std::chrono::hours(1);
  auto flood_line = [](int tid) {
    return "QLTModel::process_payload Error:data_id:107 trans_id:" + std::to_string(tid) +
           " no request outstanding";
  };
  int passed = 0;
  for (int i = 0; i < 25; ++i) passed += limiter.admit(flood_line(i), t0);
  EXPECT_EQ(passed, 20);
  EXPECT_TRUE(limiter.admit("QLTModel::process_payload Error:data_id:108 trans_id:1 x", t0));
  EXPECT_EQ(limiter.suppressed(107), 5);
  EXPECT_TRUE(limiter.due(t0 + std::chrono::seconds(59)).empty());
  const auto due = limiter.due(t0 + std::chrono::seconds(60));
  ASSERT_EQ(due.size(), 1u);
  EXPECT_EQ(due[0].device, 107);
  EXPECT_EQ(due[0].kind,
            "QLTModel::process_payload Error:data_id:# trans_id:# no request outstanding");
  EXPECT_EQ(due[0].suppressed, 5);
  EXPECT_TRUE(limiter.admit(flood_line(99), t0 + std::chrono::seconds(61)));

  int in[2], out[2];
  ASSERT_EQ(::pipe(in), 0);
  ASSERT_EQ(::pipe(out), 0);
  std::vector<long> floods;
  {
    ThreadGuard threads;
    kplhost::StdoutFilter filter(
        in[0], out[1], threads, [&](long id, long n) { floods.push_back(id * 100000 + n); },
        [](long id) { return "device " + std::to_string(id - 100); });
    std::string text;
    for (int i = 0; i < 1000; ++i) text += flood_line(i) + "\n";
    filter.host_line("kpl-host: device 7 RAISED  communication lost: no round for 6.2 s");
    ASSERT_EQ(::write(in[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(in[1]);
    filter.finish();
    EXPECT_EQ(filter.dropped(), 0);
  }
  ::close(out[1]);
  std::string got;
  char buf[4096];
  for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;)
    got.append(buf, static_cast<size_t>(n));
  ::close(in[0]);
  ::close(out[0]);
  long plugin_lines = 0;
  for (size_t at = got.find("no request outstanding\n"); at != std::string::npos;
       at = got.find("no request outstanding\n", at + 1))
    ++plugin_lines;
  EXPECT_EQ(plugin_lines, 20) << got;
  EXPECT_NE(got.find("kpl-host: device 7 RAISED  communication lost"), std::string::npos);
  EXPECT_NE(got.find("kpl-host: device 7: 980 more lines like \"QLTModel::process_payload "
                     "Error:data_id:# trans_id:# no request outstanding\" suppressed in the last "
                     "minute\n"),
            std::string::npos)
      << got;
  ASSERT_FALSE(floods.empty());
  EXPECT_EQ(floods.back(), 107 * 100000 + 980);
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
