// The durable outbox of the broker connection: every alarm change is a row
// of the host's SQLite database, written (and forced to the disk) before it
// is sent, and removed only when the broker has acknowledged it. So a broker
// that is away, a cut network or a restart of the host loses none, and they
// go out in the order they happened. Bounded: past the limit the oldest are
// dropped, and counted.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "apps/kpl-host/storage/sqlite_file.h"

namespace kplhost {

struct OutboxRow {
  long long seq;
  std::string topic;
  std::string payload;
};

class MqttOutbox {
 public:
  // Opens (or creates) the table in the database at path; throws
  // HistoryError naming the file.
  MqttOutbox(const std::string& path, long limit);
  MqttOutbox(const MqttOutbox&) = delete;
  MqttOutbox& operator=(const MqttOutbox&) = delete;

  // The sequence number the next row gets: one more than any row ever
  // written, across restarts.
  long long next_seq();
  // Writes the row under next_seq(); returns how many of the oldest rows
  // were dropped to keep within the limit. Throws HistoryError.
  long append(const std::string& topic, const std::string& payload);
  // Rows with a sequence number above `after`, oldest first, at most n.
  std::vector<OutboxRow> after(long long after, size_t n);
  void remove(long long seq);
  long size();

 private:
  long limit_;
  std::mutex lock_;
  SqliteFile db_;
  sqlite3_stmt* insert_ = nullptr;
  sqlite3_stmt* after_ = nullptr;
  sqlite3_stmt* remove_ = nullptr;
  sqlite3_stmt* count_ = nullptr;
  sqlite3_stmt* trim_ = nullptr;
  long long next_ = 1;
  long size_ = 0;
};

}  // namespace kplhost
