#include "apps/kpl-host/storage/trend_store.h"

#include <sqlite3.h>

namespace kplhost {

namespace {

std::string buckets(const std::string& table) {
  return "CREATE TABLE IF NOT EXISTS " + table +
         " (slot INTEGER NOT NULL, series INTEGER NOT NULL, lap INTEGER NOT NULL,"
         " min INTEGER NOT NULL, mean INTEGER NOT NULL, max INTEGER NOT NULL,"
         " samples INTEGER NOT NULL, PRIMARY KEY (slot, series)) WITHOUT ROWID";
}

// The values were floats as the unit sent them: kept as their 4 bytes (a
// REAL takes 8), which for a year of minutes and two of hours is the
// larger part of a unit's trends.
std::int64_t stored(double v) {
  return static_cast<std::int32_t>(value_bits_of(static_cast<float>(v)));
}
double read_back(sqlite3_stmt* s, int column) {
  return value_of_bits(static_cast<std::uint32_t>(sqlite3_column_int64(s, column)));
}

// A point's last heard-of time is written again only once a day passed.
constexpr std::int64_t heard_every_s = 86400;

}  // namespace

TrendStore::Buckets::Buckets(SqliteFile& db, const std::string& table, std::int64_t resolution_s,
                             std::int64_t slot_count)
    : resolution(resolution_s), slots(slot_count) {
  get = db.prepare(
      ("SELECT lap, min, mean, max, samples FROM " + table + " WHERE slot = ? AND series = ?")
          .c_str());
  put = db.prepare(("INSERT OR REPLACE INTO " + table +
                    " (slot, series, lap, min, mean, max, samples) VALUES (?, ?, ?, ?, ?, ?, ?)")
                       .c_str());
}

std::optional<Aggregate> TrendStore::Buckets::at(SqliteFile& db, std::int64_t series,
                                                 std::int64_t t) const {
  const std::int64_t n = t / resolution;
  StatementReset r{get};
  sqlite3_bind_int64(get, 1, n % slots);
  sqlite3_bind_int64(get, 2, series);
  const int rc = sqlite3_step(get);
  if (rc == SQLITE_DONE) return std::nullopt;
  if (rc != SQLITE_ROW) db.fail("cannot read a trend");
  // A slot not written since an earlier lap holds another time.
  if (sqlite3_column_int64(get, 0) != n / slots) return std::nullopt;
  return Aggregate{read_back(get, 1), read_back(get, 2), read_back(get, 3),
                   static_cast<std::uint32_t>(sqlite3_column_int64(get, 4))};
}

void TrendStore::Buckets::merge(SqliteFile& db, std::int64_t series, std::int64_t t,
                                const Aggregate& value) const {
  Aggregate a = at(db, series, t).value_or(Aggregate{});
  a.merge(value);
  const std::int64_t n = t / resolution;
  StatementReset r{put};
  sqlite3_bind_int64(put, 1, n % slots);
  sqlite3_bind_int64(put, 2, series);
  sqlite3_bind_int64(put, 3, n / slots);
  sqlite3_bind_int64(put, 4, stored(a.min));
  sqlite3_bind_int64(put, 5, stored(a.mean));
  sqlite3_bind_int64(put, 6, stored(a.max));
  sqlite3_bind_int64(put, 7, a.samples);
  if (sqlite3_step(put) != SQLITE_DONE) db.fail("cannot write a trend");
}

TrendStore::TrendStore(const std::string& path)
    : db_(path, "the trends", SqliteFile::Sync::at_checkpoint) {
  {
    SqliteFile::Transaction t(db_);
    db_.exec(
        "CREATE TABLE IF NOT EXISTS trend_series (id INTEGER PRIMARY KEY,"
        " device_number INTEGER NOT NULL, point TEXT NOT NULL, desc TEXT NOT NULL,"
        " last_t INTEGER NOT NULL, UNIQUE (device_number, point))");
    db_.exec(buckets("trend_minute").c_str());
    db_.exec(buckets("trend_hour").c_str());
    t.commit();
  }
  minutes_.emplace(db_, "trend_minute", 60, minute_slots);
  hours_.emplace(db_, "trend_hour", 3600, hour_slots);
  add_series_ = db_.prepare(
      "INSERT INTO trend_series (device_number, point, desc, last_t) VALUES (?, ?, ?, ?)");
  heard_ = db_.prepare("UPDATE trend_series SET last_t = ? WHERE id = ?");
  forget_[0] = db_.prepare("DELETE FROM trend_minute WHERE series = ?");
  forget_[1] = db_.prepare("DELETE FROM trend_hour WHERE series = ?");
  forget_[2] = db_.prepare("DELETE FROM trend_series WHERE id = ?");
  sqlite3_stmt* all =
      db_.prepare("SELECT id, device_number, point, desc, last_t FROM trend_series");
  StatementReset r{all};
  while (sqlite3_step(all) == SQLITE_ROW)
    series_[{static_cast<unsigned int>(sqlite3_column_int64(all, 1)),
             reinterpret_cast<const char*>(sqlite3_column_text(all, 2))}] = {
        sqlite3_column_int64(all, 0), reinterpret_cast<const char*>(sqlite3_column_text(all, 3)),
        sqlite3_column_int64(all, 4)};
}

TrendStore::Series& TrendStore::series_for(const TrendRow& row, std::map<Key, Series>& added) {
  const Key key{row.device_number, row.point};
  auto it = series_.find(key);
  if (it != series_.end()) return it->second;
  it = added.find(key);
  if (it != added.end()) return it->second;
  StatementReset r{add_series_};
  sqlite3_bind_int64(add_series_, 1, row.device_number);
  sqlite3_bind_text(add_series_, 2, row.point.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(add_series_, 3, row.desc.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_int64(add_series_, 4, row.t);
  if (sqlite3_step(add_series_) != SQLITE_DONE) db_.fail("cannot add a trend");
  return added[key] = {sqlite3_last_insert_rowid(db_.handle()), row.desc, row.t};
}

void TrendStore::write(const std::vector<TrendRow>& rows) {
  if (rows.empty()) return;
  std::lock_guard<std::mutex> g(lock_);
  // New points join the cache only once their rows are in.
  std::map<Key, Series> added;
  std::map<std::int64_t, std::int64_t> heard;
  SqliteFile::Transaction t(db_);
  for (const TrendRow& row : rows) {
    Series& s = series_for(row, added);
    (row.hourly ? *hours_ : *minutes_).merge(db_, s.id, row.t, row.value);
    if (row.t >= s.last_t + heard_every_s) heard[s.id] = row.t;
  }
  for (const auto& [id, when] : heard) {
    StatementReset r{heard_};
    sqlite3_bind_int64(heard_, 1, when);
    sqlite3_bind_int64(heard_, 2, id);
    if (sqlite3_step(heard_) != SQLITE_DONE) db_.fail("cannot write a trend");
  }
  t.commit();
  series_.insert(added.begin(), added.end());
  for (auto& [key, s] : series_) {
    const auto it = heard.find(s.id);
    if (it != heard.end()) s.last_t = it->second;
  }
}

TrendAnswer TrendStore::read(const TrendQuery& q, std::int64_t now,
                             const std::vector<TrendRow>& unwritten) {
  const TrendRange& range = q.range;
  TrendAnswer a;
  a.to = (now / range.step_s + 1) * range.step_s;
  a.from = a.to - range.span_s;
  const Buckets& buckets = range.hourly ? *hours_ : *minutes_;
  std::vector<Aggregate> steps(static_cast<size_t>(range.span_s / range.step_s));
  auto merge = [&](std::int64_t t, const Aggregate& v) {
    if (t >= a.from && t < a.to) steps[static_cast<size_t>((t - a.from) / range.step_s)].merge(v);
  };
  bool known = false;
  {
    std::lock_guard<std::mutex> g(lock_);
    const auto it = series_.find({q.device_number, q.point});
    if (it != series_.end()) {
      known = true;
      a.desc = it->second.desc;
      for (std::int64_t t = a.from; t < a.to; t += buckets.resolution) {
        const std::optional<Aggregate> v = buckets.at(db_, it->second.id, t);
        if (v) merge(t, *v);
      }
    }
  }
  for (const TrendRow& row : unwritten) {
    if (row.hourly != range.hourly) continue;
    known = true;
    if (a.desc.empty()) a.desc = row.desc;
    merge(row.t, row.value);
  }
  if (!known) {
    a.outcome = TrendAnswer::unknown;
    a.detail = "no trend of " + q.point + " for device " + std::to_string(q.device_number);
    return a;
  }
  for (size_t i = 0; i < steps.size(); ++i)
    if (steps[i].samples)
      a.samples.push_back({a.from + static_cast<std::int64_t>(i) * range.step_s, steps[i]});
  return a;
}

long TrendStore::prune(std::int64_t now) {
  std::lock_guard<std::mutex> g(lock_);
  const std::int64_t before = now - hour_slots * 3600;
  std::vector<std::int64_t> gone;
  for (const auto& [key, s] : series_)
    if (s.last_t < before) gone.push_back(s.id);
  if (gone.empty()) return 0;
  SqliteFile::Transaction t(db_);
  for (std::int64_t id : gone)
    for (sqlite3_stmt* s : forget_) {
      StatementReset r{s};
      sqlite3_bind_int64(s, 1, id);
      if (sqlite3_step(s) != SQLITE_DONE) db_.fail("cannot forget a trend");
    }
  t.commit();
  for (auto it = series_.begin(); it != series_.end();)
    it = it->second.last_t < before ? series_.erase(it) : std::next(it);
  return static_cast<long>(gone.size());
}

long TrendStore::points() {
  std::lock_guard<std::mutex> g(lock_);
  return static_cast<long>(series_.size());
}

}  // namespace kplhost
