// One connection to the host's SQLite file, as each of its stores holds it:
// opened with a short wait for a lock another process holds, tuned for a
// flash disk (sqlite_file.cpp says how and why), statements prepared once
// and finalized with the connection, and every failure a HistoryError
// naming the file.
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
  // When a commit is on the disk. Set per connection, so per store.
  enum class Sync {
    // Forced at every commit: what must survive a power cut once told
    // (the alarm state, the broker's outbox).
    every_commit,
    // Forced at the checkpoint: a power cut may lose the newest commits,
    // never the database (history images, trends).
    at_checkpoint,
  };

  // The page size a new database gets (sqlite_file.cpp says why).
  static constexpr long long page_bytes = 1024;

  // Opens (or creates) the database at path; `what` names it in the
  // message when that fails ("the history database").
  SqliteFile(const std::string& path, const char* what, Sync sync);
  ~SqliteFile();
  SqliteFile(const SqliteFile&) = delete;
  SqliteFile& operator=(const SqliteFile&) = delete;

  void exec(const char* sql);
  // Rewrites a database of another page size, up to most_bytes, with
  // page_bytes (a VACUUM, which needs its size again free for a moment).
  // Only while no other connection has the file open.
  void use_page_size(long long most_bytes);
  // Runs the statement and returns the first column of its first row as a
  // number (0 without a row).
  long long number(const char* sql);
  // exec("BEGIN IMMEDIATE"), and a rollback unless commit() was called.
  class Transaction {
   public:
    explicit Transaction(SqliteFile& db);
    ~Transaction();
    void commit();

   private:
    SqliteFile& db_;
    bool done_ = false;
  };
  // Kept until the connection closes.
  sqlite3_stmt* prepare(const char* sql);
  // "PATH: what: SQLite's message".
  [[noreturn]] void fail(const std::string& what) const;
  sqlite3* handle() const { return db_; }
  const std::string& path() const { return path_; }

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
