#include "apps/kpl-host/storage/sqlite_file.h"

#include <sqlite3.h>

namespace kplhost {

namespace {

// The settings, with what a day of one unit (1 UPS + 1 air conditioner, a
// round a second) writes with them (qlt-disk-year, docs/disk-and-history.md).
//
// Page size 1 KiB. A commit writes each page it changed to the log, as a
// frame of the page and 24 bytes, and the checkpoint writes it again to the
// database: a commit that changes a row of the alarm state, or adds a few
// minutes to the trends, changes a handful of pages, and small pages make
// small frames that share the file system's blocks. 512 B: 3.3 MB a day,
// 1 KiB 3.7, 2 KiB 4.8, 4 KiB (SQLite's default) 7.5, 8 KiB 10.6; below
// 1 KiB the gain is small and every table a level deeper. Only a new, empty
// database takes it; HistoryStore rewrites a small older one.
constexpr const char* page_size = "PRAGMA page_size=1024";
// The log is checkpointed past 4000 pages (4 MiB, the bytes of SQLite's
// default 1000 pages of 4 KiB): pages changed again and again (the newest
// trend and history pages, the tables' upper levels) go to the database
// once a checkpoint; 1000 pages: 3.7 MB a day, 4000: 3.2. A log that once
// grew past 8 MiB (a large prune) is cut back to that at the next
// checkpoint, and never below it, so that it is not shrunk and grown again.
constexpr const char* checkpoint = "PRAGMA wal_autocheckpoint=4000";
constexpr const char* log_limit = "PRAGMA journal_size_limit=8388608";

}  // namespace

SqliteFile::SqliteFile(const std::string& path, const char* what, Sync sync) : path_(path) {
  if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) {
    const std::string detail = db_ ? sqlite3_errmsg(db_) : "out of memory";
    // A failed open still hands back a handle that must be closed.
    sqlite3_close(db_);
    throw HistoryError(path_ + ": cannot open " + what + ": " + detail);
  }
  // A database another process holds locked is waited for a little; the
  // caller then says so and tries again.
  sqlite3_busy_timeout(db_, 1000);
  exec(page_size);
  // Write-ahead logging: a commit appends its pages to the log, with no
  // rollback journal written, forced and deleted per transaction; the
  // synchronous level is the store's.
  exec("PRAGMA journal_mode=WAL");
  exec(sync == Sync::every_commit ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL");
  exec(checkpoint);
  exec(log_limit);
}

SqliteFile::~SqliteFile() {
  for (sqlite3_stmt* s : statements_) sqlite3_finalize(s);
  sqlite3_close(db_);
}

void SqliteFile::exec(const char* sql) {
  char* err = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &err) != SQLITE_OK) {
    const std::string msg = err ? err : "unknown error";
    sqlite3_free(err);
    throw HistoryError(path_ + ": " + msg);
  }
}

long long SqliteFile::number(const char* sql) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db_, sql, -1, &s, nullptr) != SQLITE_OK)
    fail("cannot prepare a statement");
  const int rc = sqlite3_step(s);
  const long long v = rc == SQLITE_ROW ? sqlite3_column_int64(s, 0) : 0;
  sqlite3_finalize(s);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) fail("cannot read");
  return v;
}

void SqliteFile::use_page_size(long long most_bytes) {
  const long long bytes = number("PRAGMA page_count") * number("PRAGMA page_size");
  if (number("PRAGMA page_size") == page_bytes || bytes > most_bytes) return;
  exec("PRAGMA journal_mode=DELETE");
  exec(page_size);
  exec("VACUUM");
  exec("PRAGMA journal_mode=WAL");
}

SqliteFile::Transaction::Transaction(SqliteFile& db) : db_(db) { db_.exec("BEGIN IMMEDIATE"); }

SqliteFile::Transaction::~Transaction() {
  if (done_) return;
  char* ignored = nullptr;
  sqlite3_exec(db_.handle(), "ROLLBACK", nullptr, nullptr, &ignored);
  sqlite3_free(ignored);
}

void SqliteFile::Transaction::commit() {
  db_.exec("COMMIT");
  done_ = true;
}

sqlite3_stmt* SqliteFile::prepare(const char* sql) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db_, sql, -1, &s, nullptr) != SQLITE_OK)
    fail("cannot prepare a statement");
  statements_.push_back(s);
  return s;
}

void SqliteFile::fail(const std::string& what) const {
  throw HistoryError(path_ + ": " + what + ": " + sqlite3_errmsg(db_));
}

StatementReset::~StatementReset() {
  sqlite3_reset(s);
  sqlite3_clear_bindings(s);
}

}  // namespace kplhost
