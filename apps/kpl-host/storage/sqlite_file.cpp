#include "apps/kpl-host/storage/sqlite_file.h"

#include <sqlite3.h>

namespace kplhost {

namespace {

// Every transaction writes whole pages, to the write-ahead log and again to
// the database at the checkpoint: a page of the file system's block size
// (4 KiB on ext4 and on the controller's eMMC) is the least that reaches
// the disk anyway, so a smaller page saves nothing and a larger one writes
// more per small change. Only a new, empty database takes it.
constexpr const char* page_size = "PRAGMA page_size=4096";
// The log is checkpointed past 1000 pages (4 MiB), SQLite's default: the
// host's commits append rows or replace a few pages, so a longer log saves
// few checkpoint writes. A log that once grew past 8 MiB (a large prune) is
// cut back at the next checkpoint, and never cut below it, so that it is
// not shrunk and grown again, each a write of the file system's journal.
constexpr const char* checkpoint = "PRAGMA wal_autocheckpoint=1000";
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
  // rollback journal written, forced and deleted per transaction.
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
