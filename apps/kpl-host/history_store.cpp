#include "apps/kpl-host/history_store.h"

#include <sqlite3.h>

namespace kplhost {

namespace {

// Resets a statement when the scope ends, whatever happened in it.
struct Reset {
  sqlite3_stmt* s;
  ~Reset() {
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
  }
};

}  // namespace

HistoryStore::HistoryStore(const std::string& path, int keep_per_device)
    : path_(path), keep_(keep_per_device) {
  try {
    open();
  } catch (...) {
    // A failed open still hands back a handle that must be closed.
    release();
    throw;
  }
}

void HistoryStore::open() {
  if (sqlite3_open(path_.c_str(), &db_) != SQLITE_OK) fail("cannot open the history database");
  // A database another process holds locked is waited for a little; the
  // writer then says so and tries again, while rows wait in its queue.
  sqlite3_busy_timeout(db_, 1000);
  // Write-ahead logging without a sync per row: a crash may lose the newest
  // rows, never the database.
  exec("PRAGMA journal_mode=WAL");
  exec("PRAGMA synchronous=NORMAL");
  exec(
      "CREATE TABLE IF NOT EXISTS history ("
      " id INTEGER PRIMARY KEY AUTOINCREMENT,"
      " device_number INTEGER NOT NULL,"
      " local_time TEXT NOT NULL,"
      " image BLOB NOT NULL)");
  exec("CREATE INDEX IF NOT EXISTS history_device ON history (device_number, id)");
  insert_ = prepare("INSERT INTO history (device_number, local_time, image) VALUES (?, ?, ?)");
  newest_ = prepare(
      "SELECT local_time, image FROM history WHERE device_number = ? ORDER BY id DESC LIMIT 1");
  prune_ = prepare(
      "DELETE FROM history WHERE device_number = ?1 AND id <= (SELECT id FROM history WHERE "
      "device_number = ?1 ORDER BY id DESC LIMIT 1 OFFSET ?2)");
  count_ = prepare("SELECT COUNT(*) FROM history WHERE device_number = ?");
}

HistoryStore::~HistoryStore() { release(); }

void HistoryStore::release() {
  for (sqlite3_stmt* s : {insert_, newest_, prune_, count_}) sqlite3_finalize(s);
  sqlite3_close(db_);
  db_ = nullptr;
}

void HistoryStore::fail(const std::string& what) {
  const std::string detail = db_ ? sqlite3_errmsg(db_) : "out of memory";
  throw HistoryError(path_ + ": " + what + ": " + detail);
}

void HistoryStore::exec(const char* sql) {
  char* err = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &err) != SQLITE_OK) {
    const std::string msg = err ? err : "unknown error";
    sqlite3_free(err);
    throw HistoryError(path_ + ": " + msg);
  }
}

sqlite3_stmt* HistoryStore::prepare(const char* sql) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db_, sql, -1, &s, nullptr) != SQLITE_OK)
    fail("cannot prepare a statement");
  return s;
}

void HistoryStore::save(unsigned int device_number, const std::string& local_time,
                        const unsigned char* image, int len) {
  std::lock_guard<std::mutex> g(lock_);
  insert(device_number, local_time, image, len);
}

void HistoryStore::save_all(const std::vector<HistoryRow>& rows) {
  std::lock_guard<std::mutex> g(lock_);
  exec("BEGIN IMMEDIATE");
  try {
    for (const HistoryRow& r : rows)
      insert(r.device_number, r.local_time, r.image.data(), static_cast<int>(r.image.size()));
    exec("COMMIT");
  } catch (const HistoryError&) {
    char* ignored = nullptr;
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, &ignored);
    sqlite3_free(ignored);
    throw;
  }
}

void HistoryStore::insert(unsigned int device_number, const std::string& local_time,
                          const unsigned char* image, int len) {
  {
    Reset r{insert_};
    sqlite3_bind_int64(insert_, 1, device_number);
    sqlite3_bind_text(insert_, 2, local_time.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_blob(insert_, 3, image, len, SQLITE_TRANSIENT);
    if (sqlite3_step(insert_) != SQLITE_DONE) fail("cannot save an image");
  }
  // Pruning at every save would double the writes; pruning at every tenth
  // save of a device keeps it within ten rows of its bound.
  if (++saves_[device_number] % 10 != 0) return;
  Reset r{prune_};
  sqlite3_bind_int64(prune_, 1, device_number);
  sqlite3_bind_int(prune_, 2, keep_);
  if (sqlite3_step(prune_) != SQLITE_DONE) fail("cannot prune old images");
}

std::optional<HistoryRow> HistoryStore::newest(unsigned int device_number) {
  std::lock_guard<std::mutex> g(lock_);
  Reset r{newest_};
  sqlite3_bind_int64(newest_, 1, device_number);
  const int rc = sqlite3_step(newest_);
  if (rc == SQLITE_DONE) return std::nullopt;
  if (rc != SQLITE_ROW) fail("cannot read the newest image");
  HistoryRow row{device_number, reinterpret_cast<const char*>(sqlite3_column_text(newest_, 0)), {}};
  const auto* blob = static_cast<const unsigned char*>(sqlite3_column_blob(newest_, 1));
  row.image.assign(blob, blob + sqlite3_column_bytes(newest_, 1));
  return row;
}

long HistoryStore::count(unsigned int device_number) {
  std::lock_guard<std::mutex> g(lock_);
  Reset r{count_};
  sqlite3_bind_int64(count_, 1, device_number);
  if (sqlite3_step(count_) != SQLITE_ROW) fail("cannot count images");
  return static_cast<long>(sqlite3_column_int64(count_, 0));
}

}  // namespace kplhost
