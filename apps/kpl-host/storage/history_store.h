// Device history in a SQLite database: rows of saved images, each with the
// device number and the time it was taken, kept for a number of days and
// within a size (storage/history_keeper.h decides which images are saved).
// A database written by an earlier release (a row per round, local time
// only) is migrated when opened.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "apps/kpl-host/storage/sqlite_file.h"

namespace kplhost {

struct HistoryRow {
  unsigned int device_number = 0;
  // When the image was taken: seconds since 1970 (UTC), and the same as a
  // person reads it, in local time: "2026-12-08 17:05:09".
  std::int64_t unix_s = 0;
  std::string local_time;
  std::vector<unsigned char> image;
};

// How much history is kept: images younger than keep_days, and of those
// the newest within max_bytes (an image's bytes and a row's own, about 64).
struct HistoryBounds {
  int keep_days = 90;
  long long max_bytes = 256LL << 20;
};

class HistoryStore {
 public:
  // Opens, creates or migrates the database; throws HistoryError naming
  // the file.
  explicit HistoryStore(const std::string& path);
  HistoryStore(const HistoryStore&) = delete;
  HistoryStore& operator=(const HistoryStore&) = delete;

  // Saves the rows in one transaction: all of them, or none (HistoryError).
  void save_all(const std::vector<HistoryRow>& rows);
  std::optional<HistoryRow> newest(unsigned int device_number);
  long count(unsigned int device_number);
  // Deletes, oldest first, the images taken before now less keep_days and
  // those beyond max_bytes; returns how many. Throws HistoryError.
  long prune(std::int64_t now_unix_s, const HistoryBounds& bounds);
  // The bytes the images take, as bounded by max_bytes.
  long long bytes();

 private:
  // Brings a database of an earlier release to this one's tables.
  void migrate();
  // Counts the bytes once (a pass over the table); the caller holds the lock.
  void measure();

  std::mutex lock_;
  SqliteFile db_;
  sqlite3_stmt* insert_ = nullptr;
  sqlite3_stmt* newest_ = nullptr;
  sqlite3_stmt* oldest_ = nullptr;
  sqlite3_stmt* delete_through_ = nullptr;
  sqlite3_stmt* count_ = nullptr;
  // -1 until measured.
  long long bytes_ = -1;
};

}  // namespace kplhost
