// qlt-disk-year: the disk a controller's kpl-host holds after a year (or
// DAYS), without waiting for it: the host's own history, trend and event
// stores driven round by round with a wall clock stepped by hand, at the
// bounds of a configuration file (the packaged one, say). Prints the files'
// sizes every 30 days and at the end.
//
//   qlt-disk-year --work DIR [--config FILE] [--units N] [--days D] [--round-s S]
//                 [--alarm-every-s S] [--write-every-s S]

#include <cstdio>

#include "apps/kpl-host/core/config.h"
#include "apps/kpl-host/core/trend_source.h"
#include "bench/support/options.h"
#include "testkit/disk_year.h"

namespace {

double mib(long long bytes) { return static_cast<double>(bytes) / (1 << 20); }

int run(const qltbench::Options& o) {
  qlttest::DiskYear y;
  y.dir = o.text("--work");
  if (y.dir.empty()) throw std::invalid_argument("--work is required");
  if (o.has("--config")) y.disk = kplhost::load_config(o.text("--config")).disk;
  y.units = o.number("--units", 1);
  y.days = o.number("--days", 365);
  y.round_s = o.number("--round-s", 1);
  y.alarm_every_s = o.number("--alarm-every-s", 3600);
  y.write_every_s = o.number("--write-every-s", y.write_every_s);
  std::printf(
      "disk year: %d unit(s) of 14 analogue points, a round every %d s, an alarm change every "
      "%d s, for %.0f days; history_interval_s %d, history_keep_days %d, history_max_mb %d, "
      "events_max_mb %g, events_keep %d\n",
      y.units, y.round_s, y.alarm_every_s, y.days, y.disk.history_interval_s,
      y.disk.history_keep_days, y.disk.history_max_mb, y.disk.events_max_mb, y.disk.events_keep);
  std::fflush(stdout);
  const auto print = [](const char* when, const qlttest::DiskFigures& f) {
    std::printf("  %s: database %.1f MiB (log %.1f MiB), event files %.2f MiB\n", when,
                mib(f.database_bytes), mib(f.log_bytes), mib(f.event_bytes));
    std::fflush(stdout);
  };
  const qlttest::DiskFigures f = qlttest::run_disk_year(y, [&](int day, const auto& so_far) {
    if (day % 30 != 0) return;
    const std::string when = "day " + std::to_string(day);
    print(when.c_str(), so_far);
  });
  print("end", f);
  std::printf(
      "  at most: database %.1f MiB, event files %.2f MiB\n"
      "  history: %ld images, %.1f MiB; trends: %ld points, %ld minute rows, %ld hour rows; "
      "%ld alarm lines written\n"
      "  written to disk: %.2f MB, %.2f MB a simulated day\n",
      mib(f.most_database_bytes), mib(f.most_event_bytes), f.history_rows, mib(f.history_bytes),
      f.trend_points, f.minute_rows, f.hour_rows, f.alarm_lines, f.written_bytes / 1e6,
      f.written_bytes / 1e6 / y.days);
  for (int r = 0; r < 3; ++r)
    std::printf("  a point's trend over %s: %zu steps read in %.1f ms\n",
                kplhost::trend_ranges[r].name, f.read_steps[r], f.read_ms[r]);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return qltbench::run_program(
      argc, argv, 1,
      {"--work", "--config", "--units", "--days", "--round-s", "--alarm-every-s",
       "--write-every-s"},
      "qlt-disk-year",
      "qlt-disk-year --work DIR [--config FILE] [--units N] [--days D] [--round-s S] "
      "[--alarm-every-s S] [--write-every-s S]",
      run);
}
