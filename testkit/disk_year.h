// Years of a host's disk, by the clock rather than by waiting: the history,
// the trends and the event stream of a few units driven round by round with
// a wall clock stepped by hand, through the host's own stores and the
// bounds its configuration gives them, as the writer threads would drive
// them (history rows and trend rows written in batches, pruned hourly).
// What is on the disk at the end, and at its largest on the way, is what a
// controller holds after that long.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "apps/kpl-host/core/config.h"

namespace qlttest {

struct DiskYear {
  // Where the database (history.db) and the event file (events.jsonl) go.
  std::string dir;
  int units = 1;
  double days = 365;
  // Seconds between rounds: 1 as polled; more, for a shorter run, gives
  // fewer samples to each bucket but the same rows.
  int round_s = 1;
  // An alarm is raised or cleared this often on every unit.
  int alarm_every_s = 3600;
  // The marks of the clock at which the history's rows and the trends are
  // written, as the writer threads do.
  int write_every_s = 600;
  // The bounds, as the host's configuration gives them.
  kplhost::DiskConfig disk;
  std::int64_t start_unix_s = 1798761600;  // 2027-01-01 00:00 UTC
};

struct DiskFigures {
  // Files: the database, its log, and the event files together.
  long long database_bytes = 0, log_bytes = 0, event_bytes = 0;
  // The largest the database and the event files were on the way.
  long long most_database_bytes = 0, most_event_bytes = 0;
  long history_rows = 0;
  long long history_bytes = 0;
  long trend_points = 0;
  long minute_rows = 0, hour_rows = 0;
  long alarm_lines = 0;
  // What this process wrote to disk meanwhile (write_bytes of /proc/self/io).
  long long written_bytes = 0;
  // How long a question of /api/trend took at the end, for each range
  // (24h, 7d, 1y), in milliseconds, and how many steps it answered.
  double read_ms[3] = {};
  size_t read_steps[3] = {};
};

// Runs the span; `each_day` (if given) is told the figures at the end of
// every simulated day.
DiskFigures run_disk_year(const DiskYear& setup,
                          const std::function<void(int day, const DiskFigures&)>& each_day = {});

}  // namespace qlttest
