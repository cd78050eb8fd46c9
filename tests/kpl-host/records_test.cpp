// What the host writes down: the event stream's lines, in a file bounded by
// rotation, and the history database's rows.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "apps/kpl-host/core/device_slot.h"
#include "apps/kpl-host/outputs/event_log.h"
#include "apps/kpl-host/outputs/line_limiter.h"
#include "apps/kpl-host/outputs/stdout_filter.h"
#include "apps/kpl-host/storage/history_keeper.h"
#include "apps/kpl-host/storage/history_store.h"
#include "apps/kpl-host/storage/storage.h"
#include "testkit/json_text.h"
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
    log.device_state(slot, HealthState::degraded);
  }
  // Every line carries the wall-clock time it was made, with its offset.
  const std::regex stamp(R"(,"time":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d"\})");
  const std::string text = read_text(path);
  EXPECT_EQ(
      std::distance(std::sregex_iterator(text.begin(), text.end(), stamp), std::sregex_iterator()),
      8)
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
{"event":"health","device":7,"state":"degraded"}
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

// The lines of an event stream, over several files at once.
class EventFiles : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const std::string& f : files()) std::remove(f.c_str());
    std::remove((path + ".old").c_str());
  }
  // The file and its rotated ones that exist, oldest first.
  std::vector<std::string> files() const {
    std::vector<std::string> out;
    for (int n = 9; n >= 1; --n)
      if (std::ifstream(path + "." + std::to_string(n)))
        out.push_back(path + "." + std::to_string(n));
    if (std::ifstream(path)) out.push_back(path);
    return out;
  }
  // Every line of the files, oldest first; each must be a whole JSON object.
  std::vector<Json::Value> lines() const {
    std::vector<Json::Value> out;
    for (const std::string& f : files()) {
      const std::string text = read_text(f);
      EXPECT_TRUE(text.empty() || text.back() == '\n') << f;
      std::istringstream in(text);
      for (std::string line; std::getline(in, line);) {
        out.emplace_back();
        EXPECT_TRUE(parse_json(line, out.back())) << f << ": " << line;
      }
    }
    return out;
  }
  void alarm(EventLog& log, bool raised) {
    rule_value r{rule_alarm, "QLT_0", "市电输入告警", 15,
                 raised,     "02401", "UPS1",         raised ? rule_in_alarm : rule_normal};
    std::vector<rule_value> records{r};
    log.round(slot, {++round, 1, {AlarmChange{raised, r}}, &records});
  }
  void trace(EventLog& log, int lines) {
    for (int i = 0; i < lines; ++i) log.threshold(slot, "temperature_1_value", "温度1", 21.5f, i);
  }

  std::string path = unique_temp_path(".jsonl");
  ThreadGuard threads;
  DeviceSlot slot{[] {
    DeviceConfig c;
    c.device_number = 7;
    return c;
  }()};
  long round = 0;
};

// The operator's stream leaves the per-round trace out; asked for, it is in.
// A stream opened again goes on after the lines there are.
TEST_F(EventFiles, DefaultKindsLeaveTheTraceOut) {
  {
    EventLog log(path, threads, default_event_kinds());
    trace(log, 3);
    log.publish(slot, 1, reinterpret_cast<const unsigned char*>("\7"), 1);
    alarm(log, true);
    log.device_state(slot, HealthState::online);
    log.link(slot, true, "127.0.0.1:1502");
  }
  {
    EventLog log(path, threads, every_event_kind());
    trace(log, 1);
  }
  std::vector<std::string> kinds;
  for (const Json::Value& l : lines()) kinds.push_back(l["event"].asString());
  EXPECT_EQ(kinds, (std::vector<std::string>{"alarm", "health", "link", "threshold"}));
}

// Rotated by size into FILE.1 ... FILE.keep: an alarm raised and cleared
// with rotations in between is in the files, every line whole, no file past
// the bound, and no more files than kept.
TEST_F(EventFiles, AlarmRaisedAndClearedAcrossRotationsStaysInTheFiles) {
  // Thirty trace lines a file: the raise in the second, the clear in the
  // third, and five files' worth in all, so that the first goes.
  {
    EventLog one(path, threads);
    trace(one, 1);
  }
  const long long bound = 30 * static_cast<long long>(read_text(path).size());
  std::remove(path.c_str());
  {
    EventLog log(path, threads, every_event_kind(), {bound, 3});
    trace(log, 35);
    alarm(log, true);
    trace(log, 30);
    alarm(log, false);
    trace(log, 70);
  }
  const std::vector<std::string> all = files();
  EXPECT_EQ(all.size(), 4u);
  for (const std::string& f : all)
    EXPECT_LE(static_cast<long long>(read_text(f).size()), bound) << f;
  std::vector<std::string> alarms;
  for (const Json::Value& l : lines())
    if (l["event"] == "alarm") alarms.push_back(l["state"].asString());
  EXPECT_EQ(alarms, (std::vector<std::string>{"raised", "cleared"}));
  // The oldest lines went with the oldest file.
  EXPECT_LT(lines().size(), 35u + 2 + 30 + 2 + 70);
}

// An outside logrotate renames the file and sends SIGHUP: the lines go to
// the renamed file until the reopen, and to a new one after it.
TEST_F(EventFiles, RenamedFileAndReopenSendNewLinesToTheNewFile) {
  EventLog log(path, threads, every_event_kind(), {1 << 20, 2});
  trace(log, 1);
  ASSERT_EQ(std::rename(path.c_str(), (path + ".old").c_str()), 0);
  trace(log, 1);
  EXPECT_EQ(log.reopen(), "");
  alarm(log, true);
  const std::string renamed = read_text(path + ".old"), now = read_text(path);
  EXPECT_EQ(std::count(renamed.begin(), renamed.end(), '\n'), 2);
  EXPECT_EQ(now.rfind(R"({"event":"alarm","device":7,"state":"raised")", 0), 0u) << now;
  EXPECT_EQ(std::count(now.begin(), now.end(), '\n'), 2);
}

// A rotation that cannot be made is said once; the lines go on into the
// file there is, none lost.
TEST_F(EventFiles, RotationThatCannotRenameWritesOnAndSaysSo) {
  const std::string blocker = path + ".1";
  ASSERT_EQ(::mkdir(blocker.c_str(), 0700), 0);
  std::ofstream(blocker + "/keep") << "x";
  std::vector<std::string> said;
  {
    EventLog log(path, threads, every_event_kind(), {1000, 1},
                 [&](const std::string& s) { said.push_back(s); });
    trace(log, 30);
    EXPECT_EQ(log.lines_lost(), 0);
  }
  std::remove((blocker + "/keep").c_str());
  ::rmdir(blocker.c_str());
  ASSERT_EQ(said.size(), 1u);
  EXPECT_EQ(
      said[0].rfind(
          "event stream: cannot rotate " + path + ": cannot rename it to " + blocker + ": ", 0),
      0u)
      << said[0];
  EXPECT_EQ(lines().size(), 30u);
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
    for (const char* suffix : {"", "-wal", "-shm", ".lock"}) std::remove((path + suffix).c_str());
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

// Runs a file of SQL, as sqlite3 would, into a new database at path.
void load_sql(const std::string& path, const std::string& sql_file) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* err = nullptr;
  EXPECT_EQ(sqlite3_exec(db, read_text(sql_file).c_str(), nullptr, nullptr, &err), SQLITE_OK)
      << (err ? err : "");
  sqlite3_free(err);
  sqlite3_close(db);
}

std::int64_t local_seconds(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

// A database the first release left opens whole: its images get their
// seconds since 1970 and obey the age bound, the newest is restored, the
// alarm state reads as before, and the trends' tables join them.
TEST_F(History, DatabaseOfTheFirstReleaseIsMigrated) {
  load_sql(path, QLT_TEST_DATA "/history-0.2.0.sql");
  HostEvents quiet;
  DiskConfig disk;
  disk.history_keep_days = 36500;
  ThreadGuard threads;
  Storage storage(path, disk, quiet, threads, nullptr);
  const auto row = storage.history.newest(7);
  ASSERT_TRUE(row.has_value());
  EXPECT_EQ(row->local_time, "2026-12-09 15:08:41");
  EXPECT_EQ(row->unix_s, local_seconds(2026, 12, 9, 15, 8, 41));
  EXPECT_EQ(row->image.size(), 2239u);
  EXPECT_EQ(storage.history.count(7), 3);
  EXPECT_EQ(storage.alarm_state.load(7),
            (std::map<std::string, bool>{{"Number_1_UPS_Alarm_/QLT_0", true},
                                         {"temperature_1_value", true}}));
  EXPECT_EQ(storage.trends.points(), 0);
  EXPECT_EQ(storage.history.prune(row->unix_s + 86400, {1, 1LL << 30}), 2);
  EXPECT_EQ(storage.history.count(7), 1);
  // Rewritten with this release's smaller pages, and in write-ahead logging.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  for (const auto& [pragma, value] :
       {std::pair<std::string, std::string>{"page_size", "1024"}, {"journal_mode", "wal"}}) {
    sqlite3_stmt* q = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, ("PRAGMA " + pragma).c_str(), -1, &q, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(q), SQLITE_ROW);
    EXPECT_EQ(reinterpret_cast<const char*>(sqlite3_column_text(q, 0)), value) << pragma;
    sqlite3_finalize(q);
  }
  sqlite3_close(db);
}

// Which images are written: the first of each interval, the image of every
// round with an alarm change, the newest at a loss or return of
// communication, and the newest of each device at the stop.
TEST(HistoryKeeping, AnIntervalsFirstImageAlarmChangesAndTheNewestAtStop) {
  struct Rows final : HistoryRows {
    void write(DeviceSlot&, HistoryRow r) override { rows.push_back({r.unix_s, r.image.at(0)}); }
    std::vector<std::pair<std::int64_t, int>> rows;
  } out;
  const std::int64_t t0 = 1800000000;  // a multiple of 600
  std::chrono::system_clock::time_point now{std::chrono::seconds(t0)};
  HistoryKeeper keeper(out, 600, [&] { return now; });
  DeviceConfig cfg;
  cfg.device_number = 7;
  DeviceSlot slot(cfg);
  rule_value r{rule_alarm, "QLT_0", "", 15, 1, "02401", "UPS1", rule_in_alarm};
  // A round a second, its image the second's number within the interval.
  auto rounds = [&](int n, bool change_first = false) {
    for (int i = 0; i < n; ++i) {
      if (change_first && i == 0) keeper.round(slot, {1, 1, {AlarmChange{true, r}}});
      keeper.round(slot, {1, 1, {}});
      const auto image = static_cast<unsigned char>((unix_seconds(now) - t0) % 600 % 256);
      keeper.save(slot, &image, 1);
      now += std::chrono::seconds(1);
    }
  };
  rounds(300);
  rounds(10, true);
  rounds(300);
  keeper.communication(slot, true, "no round for 6 s");
  keeper.communication(slot, true, "again: nothing new to write");
  rounds(2);
  keeper.communication(slot, false, "rounds again");
  rounds(3);
  keeper.flush();
  keeper.flush();
  using Row = std::pair<std::int64_t, int>;
  EXPECT_EQ(out.rows, (std::vector<Row>{{t0, 0},
                                        {t0 + 300, 300 % 256},
                                        {t0 + 600, 0},
                                        {t0 + 609, 9},
                                        {t0 + 611, 11},
                                        {t0 + 614, 14}}));
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
