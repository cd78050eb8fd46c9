#include "testkit/disk_year.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <vector>

#include "apps/kpl-host/core/device_slot.h"
#include "apps/kpl-host/outputs/event_log.h"
#include "apps/kpl-host/storage/alarm_state_store.h"
#include "apps/kpl-host/storage/history_keeper.h"
#include "apps/kpl-host/storage/history_store.h"
#include "apps/kpl-host/storage/storage.h"
#include "apps/kpl-host/storage/trend_recorder.h"
#include "apps/kpl-host/storage/trend_store.h"
#include "points/environment_points.h"

namespace qlttest {

namespace {

using namespace kplhost;

long long file_bytes(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : 0;
}

long long written_so_far() {
  std::ifstream io("/proc/self/io");
  for (std::string key; io >> key;) {
    long long v = 0;
    io >> v;
    if (key == "write_bytes:") return v;
  }
  return 0;
}

long rows_of(const std::string& db_path, const char* table) {
  sqlite3* db = nullptr;
  long n = -1;
  if (sqlite3_open_v2(db_path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* q = nullptr;
    const std::string sql = std::string("SELECT COUNT(*) FROM ") + table;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &q, nullptr) == SQLITE_OK &&
        sqlite3_step(q) == SQLITE_ROW)
      n = static_cast<long>(sqlite3_column_int64(q, 0));
    sqlite3_finalize(q);
  }
  sqlite3_close(db);
  return n;
}

// History rows gathered between writes, as the writer's queue holds them.
struct Batch final : HistoryRows {
  void write(DeviceSlot&, HistoryRow row) override { rows.push_back(std::move(row)); }
  std::vector<HistoryRow> rows;
};

// One unit's round: its analogue values (the environment points and a
// battery voltage, moving slowly through the day) and its image.
struct Unit {
  explicit Unit(unsigned int number)
      : slot([number] {
          DeviceConfig c;
          c.device_number = number;
          return c;
        }()) {
    for (const AnaloguePoint& p : environment_points)
      records.push_back({rule_analogue,
                         p.name,
                         p.desc,
                         static_cast<std::uint32_t>(p.item),
                         0,
                         {},
                         {},
                         rule_normal});
    records.push_back(
        {rule_analogue, "battery_0_value", "第0电池总电压", 0, 0, {}, {}, rule_normal});
    image.assign(2239, 0);
  }
  void take_values(std::int64_t t) {
    const double day = static_cast<double>(t % 86400) / 86400;
    for (size_t i = 0; i < records.size(); ++i)
      records[i].value_bits =
          value_bits_of(static_cast<float>(20 + i + 3 * (day < 0.5 ? day : 1 - day)));
    image[4] = static_cast<unsigned char>(t);
  }
  DeviceSlot slot;
  std::vector<rule_value> records;
  std::vector<unsigned char> image;
  bool in_alarm = false;
};

}  // namespace

DiskFigures run_disk_year(const DiskYear& y,
                          const std::function<void(int, const DiskFigures&)>& each_day) {
  const std::string db = y.dir + "/history.db", events = y.dir + "/events.jsonl";
  std::int64_t t = y.start_unix_s;
  const auto clock = [&t] {
    return std::chrono::system_clock::time_point(std::chrono::seconds(t));
  };
  const long long written_before = written_so_far();
  HistoryStore history(db);
  AlarmStateStore alarm_state(db);
  TrendStore trends(db);
  TrendRecorder recorder(clock);
  Batch batch;
  HistoryKeeper keeper(batch, y.disk.history_interval_s, clock);
  ThreadGuard threads;
  EventLog log(events, threads, default_event_kinds(),
               {static_cast<long long>(y.disk.events_max_mb * 1024 * 1024), y.disk.events_keep});
  std::vector<std::unique_ptr<Unit>> units;
  for (int u = 0; u < y.units; ++u) units.push_back(std::make_unique<Unit>(u + 1));

  DiskFigures f;
  auto event_bytes = [&] {
    long long n = file_bytes(events);
    for (int k = 1; k <= y.disk.events_keep; ++k) n += file_bytes(events + "." + std::to_string(k));
    return n;
  };
  auto measure = [&] {
    f.database_bytes = file_bytes(db);
    f.log_bytes = file_bytes(db + "-wal");
    f.event_bytes = event_bytes();
    f.most_database_bytes = std::max(f.most_database_bytes, f.database_bytes);
    f.most_event_bytes = std::max(f.most_event_bytes, f.event_bytes);
  };
  // As the writers do: the history's rows and the trends at the marks of
  // the clock, the history's size held after every write.
  auto write_history = [&] {
    if (batch.rows.empty()) return;
    history.save_all(batch.rows);
    batch.rows.clear();
    if (history.bytes() > history_bounds(y.disk).max_bytes)
      history.prune(t, history_bounds(y.disk));
  };
  const std::int64_t end = y.start_unix_s + static_cast<std::int64_t>(y.days * 86400);
  long round = 0;
  for (; t < end; t += y.round_s) {
    ++round;
    const bool alarm_now = y.alarm_every_s > 0 && t % y.alarm_every_s < y.round_s;
    for (auto& u : units) {
      u->take_values(t);
      RoundSummary summary{round, u->records.size(), {}, &u->records};
      if (alarm_now) {
        u->in_alarm = !u->in_alarm;
        rule_value r{
            rule_alarm,  "QLT_0", "市电输入告警",        15,
            u->in_alarm, "02401", "Number_1_UPS_Alarm_", u->in_alarm ? rule_in_alarm : rule_normal};
        summary.changes.push_back({u->in_alarm, r});
        ++f.alarm_lines;
      }
      alarm_state.round(u->slot, summary);
      recorder.round(u->slot, summary);
      keeper.round(u->slot, summary);
      log.round(u->slot, summary);
      keeper.save(u->slot, u->image.data(), static_cast<int>(u->image.size()));
    }
    if (y.disk.history_interval_s == 0 || t % y.write_every_s < y.round_s) write_history();
    if (t % y.write_every_s < y.round_s) trends.write(recorder.take());
    if (t % 3600 < y.round_s) history.prune(t, history_bounds(y.disk));
    if (t % 86400 < y.round_s) {
      trends.prune(t);
      measure();
      if (each_day) each_day(static_cast<int>((t - y.start_unix_s) / 86400), f);
    }
  }
  keeper.flush();
  write_history();
  trends.write(recorder.take(true));
  f.written_bytes = written_so_far() - written_before;
  measure();
  for (int r = 0; r < 3; ++r) {
    const auto t0 = std::chrono::steady_clock::now();
    const TrendAnswer a = trends.read({1, "temperature_1_value", trend_ranges[r]}, t);
    f.read_ms[r] =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    f.read_steps[r] = a.samples.size();
  }
  f.history_rows = rows_of(db, "history");
  f.history_bytes = history.bytes();
  f.trend_points = trends.points();
  f.minute_rows = rows_of(db, "trend_minute");
  f.hour_rows = rows_of(db, "trend_hour");
  return f;
}

}  // namespace qlttest
