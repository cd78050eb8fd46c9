// The host's SQLite file and what keeps it: the lock that makes the file one
// host's, the history with its writer thread, and the alarm state. Made
// before the devices, so a file another host holds stops this one at once.
#pragma once

#include <cstddef>
#include <string>

#include "apps/kpl-host/core/host_events.h"
#include "apps/kpl-host/storage/alarm_state_store.h"
#include "apps/kpl-host/storage/history_lock.h"
#include "apps/kpl-host/storage/history_store.h"
#include "apps/kpl-host/storage/history_writer.h"

namespace kplhost {

struct Storage {
  // keep: newest images per device; queue: rows that may wait for the disk.
  // Throws HistoryInUse or HistoryError naming the file.
  Storage(const std::string& path, int keep, std::size_t queue, HostEvents& events)
      : lock(path), history(path, keep), alarm_state(path), writer(history, queue, events) {}

  HistoryLock lock;
  HistoryStore history;
  AlarmStateStore alarm_state;
  HistoryWriter writer;
};

}  // namespace kplhost
