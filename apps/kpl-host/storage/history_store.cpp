#include "apps/kpl-host/storage/history_store.h"

#include <sqlite3.h>

namespace kplhost {

namespace {

// What a row costs besides its image, as counted against max_bytes: its
// time in two forms, its numbers and the table's own bookkeeping.
constexpr long long row_bytes = 64;
// Rows looked at per step of a prune.
constexpr int prune_step = 256;

}  // namespace

HistoryStore::HistoryStore(const std::string& path)
    : db_(path, "the history database", SqliteFile::Sync::at_checkpoint) {
  // The first release's databases have 4 KiB pages, which cost twice the
  // writes; they were bounded by a count of images, and are rewritten once.
  // This is the first connection to the file the host opens.
  db_.use_page_size(64LL << 20);
  // One commit for the whole schema: a few pages written, not a few per table.
  // The ids only grow, since the newest row is never deleted; the first
  // release's AUTOINCREMENT, kept in the databases it made, wrote one more
  // page at every commit.
  SqliteFile::Transaction t(db_);
  db_.exec(
      "CREATE TABLE IF NOT EXISTS history ("
      " id INTEGER PRIMARY KEY,"
      " device_number INTEGER NOT NULL,"
      " local_time TEXT NOT NULL,"
      " image BLOB NOT NULL,"
      " unix_s INTEGER)");
  db_.exec("CREATE INDEX IF NOT EXISTS history_device ON history (device_number, id)");
  migrate();
  t.commit();
  insert_ = db_.prepare(
      "INSERT INTO history (device_number, local_time, image, unix_s) VALUES (?, ?, ?, ?)");
  newest_ = db_.prepare(
      "SELECT local_time, image, unix_s FROM history WHERE device_number = ? "
      "ORDER BY id DESC LIMIT 1");
  oldest_ =
      db_.prepare("SELECT id, COALESCE(unix_s, 0), LENGTH(image) FROM history ORDER BY id LIMIT ?");
  delete_through_ = db_.prepare("DELETE FROM history WHERE id <= ?");
  count_ = db_.prepare("SELECT COUNT(*) FROM history WHERE device_number = ?");
}

// The first release kept local time only, as text; the seconds since 1970
// are worked out from it as this machine's time zone reads it now. A text
// SQLite cannot read leaves the row without them, and the first prune takes
// it for the oldest. In the transaction that makes the tables.
void HistoryStore::migrate() {
  if (db_.number("SELECT COUNT(*) FROM pragma_table_info('history') WHERE name = 'unix_s'") == 0) {
    db_.exec("ALTER TABLE history ADD COLUMN unix_s INTEGER");
    db_.exec("UPDATE history SET unix_s = CAST(strftime('%s', local_time, 'utc') AS INTEGER)");
  }
  if (db_.number("PRAGMA user_version") < 1) db_.exec("PRAGMA user_version=1");
}

void HistoryStore::save_all(const std::vector<HistoryRow>& rows) {
  std::lock_guard<std::mutex> g(lock_);
  SqliteFile::Transaction t(db_);
  long long added = 0;
  for (const HistoryRow& r : rows) {
    StatementReset reset{insert_};
    sqlite3_bind_int64(insert_, 1, r.device_number);
    sqlite3_bind_text(insert_, 2, r.local_time.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_blob(insert_, 3, r.image.data(), static_cast<int>(r.image.size()),
                      SQLITE_TRANSIENT);
    sqlite3_bind_int64(insert_, 4, r.unix_s);
    if (sqlite3_step(insert_) != SQLITE_DONE) db_.fail("cannot save an image");
    added += static_cast<long long>(r.image.size()) + row_bytes;
  }
  t.commit();
  if (bytes_ >= 0) bytes_ += added;
}

std::optional<HistoryRow> HistoryStore::newest(unsigned int device_number) {
  std::lock_guard<std::mutex> g(lock_);
  StatementReset r{newest_};
  sqlite3_bind_int64(newest_, 1, device_number);
  const int rc = sqlite3_step(newest_);
  if (rc == SQLITE_DONE) return std::nullopt;
  if (rc != SQLITE_ROW) db_.fail("cannot read the newest image");
  HistoryRow row;
  row.device_number = device_number;
  row.local_time = reinterpret_cast<const char*>(sqlite3_column_text(newest_, 0));
  const auto* blob = static_cast<const unsigned char*>(sqlite3_column_blob(newest_, 1));
  row.image.assign(blob, blob + sqlite3_column_bytes(newest_, 1));
  row.unix_s = sqlite3_column_int64(newest_, 2);
  return row;
}

long HistoryStore::count(unsigned int device_number) {
  std::lock_guard<std::mutex> g(lock_);
  StatementReset r{count_};
  sqlite3_bind_int64(count_, 1, device_number);
  if (sqlite3_step(count_) != SQLITE_ROW) db_.fail("cannot count images");
  return static_cast<long>(sqlite3_column_int64(count_, 0));
}

void HistoryStore::measure() {
  if (bytes_ >= 0) return;
  bytes_ = db_.number("SELECT TOTAL(LENGTH(image)) + COUNT(*) * 64 FROM history");
  static_assert(row_bytes == 64, "the measure counts rows as save_all does");
}

long long HistoryStore::bytes() {
  std::lock_guard<std::mutex> g(lock_);
  measure();
  return bytes_;
}

// Rows go in the order they were taken, so the oldest are the first ids: a
// prune walks them from the start and stops at the first it keeps. (A clock
// set back leaves a newer-looking row among older ones; the size bound
// still holds.)
long HistoryStore::prune(std::int64_t now_unix_s, const HistoryBounds& bounds) {
  std::lock_guard<std::mutex> g(lock_);
  measure();
  const std::int64_t before = now_unix_s - static_cast<std::int64_t>(bounds.keep_days) * 86400;
  SqliteFile::Transaction t(db_);
  long deleted = 0;
  long long bytes = bytes_;
  for (bool more = true; more;) {
    long long through = -1;
    long step = 0;
    long long freed = 0;
    {
      StatementReset r{oldest_};
      sqlite3_bind_int(oldest_, 1, prune_step);
      int rc, seen = 0;
      while ((rc = sqlite3_step(oldest_)) == SQLITE_ROW) {
        ++seen;
        const long long size = sqlite3_column_int64(oldest_, 2) + row_bytes;
        if (sqlite3_column_int64(oldest_, 1) >= before && bytes - freed <= bounds.max_bytes) break;
        through = sqlite3_column_int64(oldest_, 0);
        freed += size;
        ++step;
      }
      if (rc != SQLITE_ROW && rc != SQLITE_DONE) db_.fail("cannot read the oldest images");
      more = step == seen && seen == prune_step;
    }
    if (through < 0) break;
    StatementReset r{delete_through_};
    sqlite3_bind_int64(delete_through_, 1, through);
    if (sqlite3_step(delete_through_) != SQLITE_DONE) db_.fail("cannot delete old images");
    deleted += step;
    bytes -= freed;
  }
  t.commit();
  bytes_ = bytes;
  return deleted;
}

}  // namespace kplhost
