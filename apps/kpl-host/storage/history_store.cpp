#include "apps/kpl-host/storage/history_store.h"

#include <sqlite3.h>

namespace kplhost {

HistoryStore::HistoryStore(const std::string& path, int keep_per_device)
    : keep_(keep_per_device), db_(path, "the history database") {
  // Write-ahead logging without a sync per row: a crash may lose the newest
  // rows, never the database.
  db_.exec("PRAGMA journal_mode=WAL");
  db_.exec("PRAGMA synchronous=NORMAL");
  db_.exec(
      "CREATE TABLE IF NOT EXISTS history ("
      " id INTEGER PRIMARY KEY AUTOINCREMENT,"
      " device_number INTEGER NOT NULL,"
      " local_time TEXT NOT NULL,"
      " image BLOB NOT NULL)");
  db_.exec("CREATE INDEX IF NOT EXISTS history_device ON history (device_number, id)");
  insert_ = db_.prepare("INSERT INTO history (device_number, local_time, image) VALUES (?, ?, ?)");
  newest_ = db_.prepare(
      "SELECT local_time, image FROM history WHERE device_number = ? ORDER BY id DESC LIMIT 1");
  prune_ = db_.prepare(
      "DELETE FROM history WHERE device_number = ?1 AND id <= (SELECT id FROM history WHERE "
      "device_number = ?1 ORDER BY id DESC LIMIT 1 OFFSET ?2)");
  count_ = db_.prepare("SELECT COUNT(*) FROM history WHERE device_number = ?");
}

void HistoryStore::save(unsigned int device_number, const std::string& local_time,
                        const unsigned char* image, int len) {
  std::lock_guard<std::mutex> g(lock_);
  insert(device_number, local_time, image, len);
}

void HistoryStore::save_all(const std::vector<HistoryRow>& rows) {
  std::lock_guard<std::mutex> g(lock_);
  db_.exec("BEGIN IMMEDIATE");
  try {
    for (const HistoryRow& r : rows)
      insert(r.device_number, r.local_time, r.image.data(), static_cast<int>(r.image.size()));
    db_.exec("COMMIT");
  } catch (const HistoryError&) {
    char* ignored = nullptr;
    sqlite3_exec(db_.handle(), "ROLLBACK", nullptr, nullptr, &ignored);
    sqlite3_free(ignored);
    throw;
  }
}

void HistoryStore::insert(unsigned int device_number, const std::string& local_time,
                          const unsigned char* image, int len) {
  {
    StatementReset r{insert_};
    sqlite3_bind_int64(insert_, 1, device_number);
    sqlite3_bind_text(insert_, 2, local_time.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_blob(insert_, 3, image, len, SQLITE_TRANSIENT);
    if (sqlite3_step(insert_) != SQLITE_DONE) db_.fail("cannot save an image");
  }
  // Pruning at every save would double the writes; pruning at every tenth
  // save of a device keeps it within ten rows of its bound.
  if (++saves_[device_number] % 10 != 0) return;
  StatementReset r{prune_};
  sqlite3_bind_int64(prune_, 1, device_number);
  sqlite3_bind_int(prune_, 2, keep_);
  if (sqlite3_step(prune_) != SQLITE_DONE) db_.fail("cannot prune old images");
}

std::optional<HistoryRow> HistoryStore::newest(unsigned int device_number) {
  std::lock_guard<std::mutex> g(lock_);
  StatementReset r{newest_};
  sqlite3_bind_int64(newest_, 1, device_number);
  const int rc = sqlite3_step(newest_);
  if (rc == SQLITE_DONE) return std::nullopt;
  if (rc != SQLITE_ROW) db_.fail("cannot read the newest image");
  HistoryRow row{device_number, reinterpret_cast<const char*>(sqlite3_column_text(newest_, 0)), {}};
  const auto* blob = static_cast<const unsigned char*>(sqlite3_column_blob(newest_, 1));
  row.image.assign(blob, blob + sqlite3_column_bytes(newest_, 1));
  return row;
}

long HistoryStore::count(unsigned int device_number) {
  std::lock_guard<std::mutex> g(lock_);
  StatementReset r{count_};
  sqlite3_bind_int64(count_, 1, device_number);
  if (sqlite3_step(count_) != SQLITE_ROW) db_.fail("cannot count images");
  return static_cast<long>(sqlite3_column_int64(count_, 0));
}

}  // namespace kplhost
