// Device history in a SQLite database: one row per saved image, with the
// device number and the local time it was saved. The newest rows of each
// device are kept; older ones are pruned as new ones arrive.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "apps/kpl-host/storage/sqlite_file.h"

namespace kplhost {

struct HistoryRow {
  unsigned int device_number;
  std::string local_time;
  std::vector<unsigned char> image;
};

class HistoryStore {
 public:
  // Opens or creates the database; throws HistoryError naming the file.
  HistoryStore(const std::string& path, int keep_per_device);
  HistoryStore(const HistoryStore&) = delete;
  HistoryStore& operator=(const HistoryStore&) = delete;

  void save(unsigned int device_number, const std::string& local_time, const unsigned char* image,
            int len);
  // Saves the rows in one transaction: all of them, or none (HistoryError).
  void save_all(const std::vector<HistoryRow>& rows);
  std::optional<HistoryRow> newest(unsigned int device_number);
  long count(unsigned int device_number);

 private:
  // Inserts one row and prunes its device now and then; the caller holds
  // the lock.
  void insert(unsigned int device_number, const std::string& local_time, const unsigned char* image,
              int len);

  int keep_;
  std::mutex lock_;
  SqliteFile db_;
  sqlite3_stmt* insert_ = nullptr;
  sqlite3_stmt* newest_ = nullptr;
  sqlite3_stmt* prune_ = nullptr;
  sqlite3_stmt* count_ = nullptr;
  std::unordered_map<unsigned int, long> saves_;
};

}  // namespace kplhost
