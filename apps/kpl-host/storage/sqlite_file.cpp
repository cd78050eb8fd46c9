#include "apps/kpl-host/storage/sqlite_file.h"

#include <sqlite3.h>

namespace kplhost {

SqliteFile::SqliteFile(const std::string& path, const char* what) : path_(path) {
  if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) {
    const std::string detail = db_ ? sqlite3_errmsg(db_) : "out of memory";
    // A failed open still hands back a handle that must be closed.
    sqlite3_close(db_);
    throw HistoryError(path_ + ": cannot open " + what + ": " + detail);
  }
  // A database another process holds locked is waited for a little; the
  // caller then says so and tries again.
  sqlite3_busy_timeout(db_, 1000);
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
