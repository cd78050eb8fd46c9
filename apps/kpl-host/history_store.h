// Device history in a SQLite database: one row per saved image, with the
// device number and the local time it was saved. The newest rows of each
// device are kept; older ones are pruned as new ones arrive.
#pragma once

#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace kplhost {

class HistoryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct HistoryRow {
  unsigned int device_number;
  std::string local_time;
  std::vector<unsigned char> image;
};

class HistoryStore {
 public:
  // Opens or creates the database; throws HistoryError naming the file.
  HistoryStore(const std::string& path, int keep_per_device);
  ~HistoryStore();
  HistoryStore(const HistoryStore&) = delete;
  HistoryStore& operator=(const HistoryStore&) = delete;

  void save(unsigned int device_number, const std::string& local_time, const unsigned char* image,
            int len);
  // Saves the rows in one transaction: all of them, or none (HistoryError).
  void save_all(const std::vector<HistoryRow>& rows);
  std::optional<HistoryRow> newest(unsigned int device_number);
  long count(unsigned int device_number);

 private:
  void open();
  void release();
  // Inserts one row and prunes its device now and then; the caller holds
  // the lock.
  void insert(unsigned int device_number, const std::string& local_time, const unsigned char* image,
              int len);
  void exec(const char* sql);
  sqlite3_stmt* prepare(const char* sql);
  [[noreturn]] void fail(const std::string& what);

  std::string path_;
  int keep_;
  std::mutex lock_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
  sqlite3_stmt* newest_ = nullptr;
  sqlite3_stmt* prune_ = nullptr;
  sqlite3_stmt* count_ = nullptr;
  std::unordered_map<unsigned int, long> saves_;
};

}  // namespace kplhost
