// The host's SQLite file and what keeps it: the lock that makes the file one
// host's, the history (which images it keeps, its writer thread), the
// trends (gathered per round, written by a thread of their own), and the
// alarm state. Made before the devices, so a file another host holds stops
// this one at once.
#pragma once

#include <string>

#include "apps/kpl-host/core/config.h"
#include "apps/kpl-host/core/host_events.h"
#include "apps/kpl-host/core/thread_guard.h"
#include "apps/kpl-host/core/wall_clock.h"
#include "apps/kpl-host/storage/alarm_state_store.h"
#include "apps/kpl-host/storage/history_keeper.h"
#include "apps/kpl-host/storage/history_lock.h"
#include "apps/kpl-host/storage/history_store.h"
#include "apps/kpl-host/storage/history_writer.h"
#include "apps/kpl-host/storage/trend_recorder.h"
#include "apps/kpl-host/storage/trend_store.h"
#include "apps/kpl-host/storage/trend_writer.h"

namespace kplhost {

inline HistoryBounds history_bounds(const DiskConfig& disk) {
  return {disk.history_keep_days, static_cast<long long>(disk.history_max_mb) << 20};
}

struct Storage {
  // Throws HistoryInUse or HistoryError naming the file. report: the
  // trends' troubles, for the console. threads: where the writers' threads
  // say that they failed.
  Storage(const std::string& path, const DiskConfig& disk, HostEvents& events, ThreadGuard& threads,
          TrendWriter::Report report, WallClock clock = system_wall_clock())
      : lock(path),
        history(path),
        alarm_state(path),
        trends(path),
        writer(history, static_cast<size_t>(disk.history_queue), events, threads,
               {history_bounds(disk), clock,
                disk.history_interval_s > 0 ? TrendTiming().marks : std::chrono::seconds(0)}),
        keeper(writer, disk.history_interval_s, clock),
        recorder(clock),
        trend_writer(trends, recorder, threads, {}, clock, std::move(report)) {}

  HistoryLock lock;
  HistoryStore history;
  AlarmStateStore alarm_state;
  TrendStore trends;
  HistoryWriter writer;
  HistoryKeeper keeper;
  TrendRecorder recorder;
  TrendWriter trend_writer;
};

}  // namespace kplhost
