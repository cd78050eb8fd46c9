#include "apps/kpl-host/storage/alarm_state_store.h"

#include <sqlite3.h>

#include "apps/kpl-host/core/alarm_text.h"
#include "apps/kpl-host/core/point_key.h"

namespace kplhost {

// What the host told of an alarm must be on the disk before anyone else
// hears of it, power cut or not. Without a rowid a change writes the one
// page of the key, not a table page and an index page (the first release's
// databases keep their table as it was).
AlarmStateStore::AlarmStateStore(const std::string& path)
    : db_(path, "the alarm state", SqliteFile::Sync::every_commit) {
  db_.exec(
      "CREATE TABLE IF NOT EXISTS alarm_state ("
      " device_number INTEGER NOT NULL, point TEXT NOT NULL,"
      " PRIMARY KEY (device_number, point)) WITHOUT ROWID");
  load_ = db_.prepare("SELECT point FROM alarm_state WHERE device_number = ?");
  raise_ = db_.prepare("INSERT OR IGNORE INTO alarm_state (device_number, point) VALUES (?, ?)");
  clear_ = db_.prepare("DELETE FROM alarm_state WHERE device_number = ? AND point = ?");
}

std::map<std::string, bool> AlarmStateStore::load(unsigned int device_number) {
  std::lock_guard<std::mutex> g(lock_);
  StatementReset r{load_};
  sqlite3_bind_int64(load_, 1, device_number);
  std::map<std::string, bool> out;
  int rc;
  while ((rc = sqlite3_step(load_)) == SQLITE_ROW)
    out[reinterpret_cast<const char*>(sqlite3_column_text(load_, 0))] = true;
  if (rc != SQLITE_DONE) db_.fail("cannot read the alarm state");
  return out;
}

void AlarmStateStore::set(unsigned int device_number, const std::string& point, bool in_alarm) {
  std::lock_guard<std::mutex> g(lock_);
  sqlite3_stmt* s = in_alarm ? raise_ : clear_;
  StatementReset r{s};
  sqlite3_bind_int64(s, 1, device_number);
  sqlite3_bind_text(s, 2, point.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(s) != SQLITE_DONE) db_.fail("cannot record an alarm state");
}

void AlarmStateStore::round(const DeviceSlot& slot, const RoundSummary& summary) {
  for (const AlarmChange& c : summary.changes) {
    try {
      set(slot.config.device_number, point_key(c.record), c.raised);
    } catch (const HistoryError& e) {
      slot.problem.set(e.what());
    }
  }
}

void AlarmStateStore::communication(const DeviceSlot& slot, bool lost, const std::string&) {
  try {
    set(slot.config.device_number, communication_lost_id, lost);
  } catch (const HistoryError& e) {
    slot.problem.set(e.what());
  }
}

}  // namespace kplhost
