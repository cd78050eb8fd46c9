#include "bench/scale/round_counts.h"

#include <sqlite3.h>

#include <fstream>
#include <stdexcept>

namespace qltbench {

std::string local_time_text(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
  return text;
}

std::map<unsigned int, long> rows_per_device(const std::string& db_path, std::time_t from,
                                             std::time_t to) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(db_path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    throw std::runtime_error(db_path + ": cannot be opened");
  }
  sqlite3_stmt* q = nullptr;
  const char* sql =
      "SELECT device_number, COUNT(*) FROM history WHERE local_time >= ? AND local_time < ? "
      "GROUP BY device_number";
  std::map<unsigned int, long> rows;
  int rc = sqlite3_prepare_v2(db, sql, -1, &q, nullptr);
  if (rc == SQLITE_OK) {
    const std::string a = local_time_text(from), b = local_time_text(to);
    sqlite3_bind_text(q, 1, a.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(q, 2, b.c_str(), -1, SQLITE_TRANSIENT);
    while ((rc = sqlite3_step(q)) == SQLITE_ROW)
      rows[static_cast<unsigned int>(sqlite3_column_int64(q, 0))] = sqlite3_column_int64(q, 1);
  }
  const std::string err = sqlite3_errmsg(db);
  sqlite3_finalize(q);
  sqlite3_close(db);
  if (rc != SQLITE_DONE) throw std::runtime_error(db_path + ": " + err);
  return rows;
}

std::map<unsigned int, long> passes_per_device(const std::string& passes_path, std::time_t from,
                                               std::time_t to) {
  std::ifstream in(passes_path);
  if (!in) throw std::runtime_error(passes_path + ": cannot be read");
  std::map<unsigned int, long> passes;
  unsigned int device = 0;
  long long second = 0;
  while (in >> device >> second)
    if (second >= from && second < to) ++passes[device];
  return passes;
}

}  // namespace qltbench
