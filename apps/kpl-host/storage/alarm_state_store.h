// Which points of each device are in alarm, kept in the host's database, so
// that after a restart the host still knows what it reported raised: an
// alarm cleared while the host was down is reported cleared by the first
// round after the restart, and one still in alarm is not raised twice. It
// hears of each round's changes as a listener, before the other outputs.
#pragma once

#include <map>
#include <mutex>
#include <string>

#include "apps/kpl-host/core/device_slot.h"
#include "apps/kpl-host/core/host_events.h"
#include "apps/kpl-host/storage/sqlite_file.h"

namespace kplhost {

class AlarmStateStore final : public HostEvents {
 public:
  // Opens (or creates) the table in the database at path; throws
  // HistoryError naming the file.
  explicit AlarmStateStore(const std::string& path);
  AlarmStateStore(const AlarmStateStore&) = delete;
  AlarmStateStore& operator=(const AlarmStateStore&) = delete;

  // The points of the device in alarm when it was last told, by key.
  std::map<std::string, bool> load(unsigned int device_number);
  // Records that the point went into or out of alarm. Throws HistoryError.
  void set(unsigned int device_number, const std::string& point, bool in_alarm);

  // Keeps the round's changes; a database that refuses them is the device's
  // problem, shown in its status.
  void round(const DeviceSlot& slot, const RoundSummary& summary) override;

 private:
  std::mutex lock_;
  SqliteFile db_;
  sqlite3_stmt* load_ = nullptr;
  sqlite3_stmt* raise_ = nullptr;
  sqlite3_stmt* clear_ = nullptr;
};

}  // namespace kplhost
