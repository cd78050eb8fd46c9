#include "apps/kpl-host/alarm_state_store.h"

#include <sqlite3.h>

#include "apps/kpl-host/history_store.h"

namespace kplhost {

namespace {

struct Reset {
  sqlite3_stmt* s;
  ~Reset() {
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
  }
};

}  // namespace

AlarmStateStore::AlarmStateStore(const std::string& path) : path_(path) {
  auto prepare = [this](const char* sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &s, nullptr) != SQLITE_OK)
      fail("cannot prepare a statement");
    return s;
  };
  try {
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) fail("cannot open the alarm state");
    sqlite3_busy_timeout(db_, 1000);
    char* err = nullptr;
    if (sqlite3_exec(db_,
                     "PRAGMA journal_mode=WAL;"
                     "CREATE TABLE IF NOT EXISTS alarm_state ("
                     " device_number INTEGER NOT NULL, point TEXT NOT NULL,"
                     " PRIMARY KEY (device_number, point))",
                     nullptr, nullptr, &err) != SQLITE_OK) {
      const std::string msg = err ? err : "unknown error";
      sqlite3_free(err);
      throw HistoryError(path_ + ": " + msg);
    }
    load_ = prepare("SELECT point FROM alarm_state WHERE device_number = ?");
    raise_ = prepare("INSERT OR IGNORE INTO alarm_state (device_number, point) VALUES (?, ?)");
    clear_ = prepare("DELETE FROM alarm_state WHERE device_number = ? AND point = ?");
  } catch (...) {
    for (sqlite3_stmt* s : {load_, raise_, clear_}) sqlite3_finalize(s);
    sqlite3_close(db_);
    throw;
  }
}

AlarmStateStore::~AlarmStateStore() {
  for (sqlite3_stmt* s : {load_, raise_, clear_}) sqlite3_finalize(s);
  sqlite3_close(db_);
}

void AlarmStateStore::fail(const std::string& what) {
  throw HistoryError(path_ + ": " + what + ": " + (db_ ? sqlite3_errmsg(db_) : "out of memory"));
}

std::map<std::string, bool> AlarmStateStore::load(unsigned int device_number) {
  std::lock_guard<std::mutex> g(lock_);
  Reset r{load_};
  sqlite3_bind_int64(load_, 1, device_number);
  std::map<std::string, bool> out;
  int rc;
  while ((rc = sqlite3_step(load_)) == SQLITE_ROW)
    out[reinterpret_cast<const char*>(sqlite3_column_text(load_, 0))] = true;
  if (rc != SQLITE_DONE) fail("cannot read the alarm state");
  return out;
}

void AlarmStateStore::set(unsigned int device_number, const std::string& point, bool in_alarm) {
  std::lock_guard<std::mutex> g(lock_);
  sqlite3_stmt* s = in_alarm ? raise_ : clear_;
  Reset r{s};
  sqlite3_bind_int64(s, 1, device_number);
  sqlite3_bind_text(s, 2, point.c_str(), -1, SQLITE_TRANSIENT);
  if (sqlite3_step(s) != SQLITE_DONE) fail("cannot record an alarm state");
}

}  // namespace kplhost
