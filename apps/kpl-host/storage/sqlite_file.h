// One connection to the host's SQLite file, as each of its stores holds it:
// opened with a short wait for a lock another process holds, statements
// prepared once and finalized with the connection, and every failure a
// HistoryError naming the file.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace kplhost {

class HistoryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class SqliteFile {
 public:
  // Opens (or creates) the database at path; `what` names it in the
  // message when that fails ("the history database").
  SqliteFile(const std::string& path, const char* what);
  ~SqliteFile();
  SqliteFile(const SqliteFile&) = delete;
  SqliteFile& operator=(const SqliteFile&) = delete;

  void exec(const char* sql);
  // Kept until the connection closes.
  sqlite3_stmt* prepare(const char* sql);
  // "PATH: what: SQLite's message".
  [[noreturn]] void fail(const std::string& what) const;
  sqlite3* handle() const { return db_; }

 private:
  std::string path_;
  sqlite3* db_ = nullptr;
  std::vector<sqlite3_stmt*> statements_;
};

// Resets a statement and clears its bindings when the scope ends, whatever
// happened in it.
struct StatementReset {
  sqlite3_stmt* s;
  ~StatementReset();
};

}  // namespace kplhost
