// The trends in the host's SQLite file, bounded by construction: for every
// analogue point, minute aggregates in 8 days' worth of round-robin slots
// and hourly aggregates in 800 days' worth. A bucket's slot is its time
// modulo the slots, so a new bucket takes the place of the one that far
// back, and the tables never hold more rows than points times slots. Each
// row keeps its lap (its time divided by the slots' span), so a slot not
// written since an earlier lap (the device was away) is told from a current
// one. min, mean and max are the bits of single-precision floats, as the
// unit sends its values, stored as signed integers: read them through
// /api/trend.
//
// The slot leads the key: the buckets written together, every point's
// minutes since the last write, lie together, and a write touches a few
// pages rather than one per point (docs/disk-and-history.md).
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "apps/kpl-host/core/trend_source.h"
#include "apps/kpl-host/storage/sqlite_file.h"
#include "apps/kpl-host/storage/trend_recorder.h"

namespace kplhost {

class TrendStore {
 public:
  static constexpr std::int64_t minute_slots = 8 * 24 * 60;
  static constexpr std::int64_t hour_slots = 800 * 24;

  // Opens or creates the tables; throws HistoryError naming the file.
  explicit TrendStore(const std::string& path);
  TrendStore(const TrendStore&) = delete;
  TrendStore& operator=(const TrendStore&) = delete;

  // Adds the rows in one transaction, each merged into what its bucket
  // already holds. Throws HistoryError; then none is added.
  void write(const std::vector<TrendRow>& rows);
  // The point's aggregates over the range, merged into its steps, the last
  // step holding `now`; with `unwritten` (rows not written yet) merged in.
  TrendAnswer read(const TrendQuery& q, std::int64_t now,
                   const std::vector<TrendRow>& unwritten = {});
  // Forgets the points not heard of for as long as the hourly slots reach
  // back (a unit taken away), with their rows; returns how many.
  long prune(std::int64_t now);
  long points();

 private:
  struct Series {
    std::int64_t id;
    std::string desc;
    std::int64_t last_t;
  };
  // One table of buckets: its statements, its resolution and its slots.
  // The caller holds the lock.
  struct Buckets {
    Buckets(SqliteFile& db, const std::string& table, std::int64_t resolution_s,
            std::int64_t slot_count);
    // The bucket of t, when the table holds it.
    std::optional<Aggregate> at(SqliteFile& db, std::int64_t series, std::int64_t t) const;
    // Merges value into the bucket of t (replacing one of an earlier lap).
    void merge(SqliteFile& db, std::int64_t series, std::int64_t t, const Aggregate& value) const;
    std::int64_t resolution, slots;
    sqlite3_stmt* get = nullptr;
    sqlite3_stmt* put = nullptr;
  };
  using Key = std::pair<unsigned int, std::string>;
  // The caller holds the lock.
  Series& series_for(const TrendRow& row, std::map<Key, Series>& added);

  std::mutex lock_;
  SqliteFile db_;
  std::map<Key, Series> series_;
  sqlite3_stmt* add_series_ = nullptr;
  sqlite3_stmt* heard_ = nullptr;
  std::optional<Buckets> minutes_, hours_;
  // A point's minutes, hours and name.
  sqlite3_stmt* forget_[3] = {};
};

}  // namespace kplhost
