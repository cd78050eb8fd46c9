#include "apps/kpl-host/storage/mqtt_outbox.h"

#include <sqlite3.h>

namespace kplhost {

MqttOutbox::MqttOutbox(const std::string& path, long limit)
    // A row must survive a power cut once written, not only a crash.
    : limit_(limit), db_(path, "the outbox", SqliteFile::Sync::every_commit) {
  db_.exec(
      "CREATE TABLE IF NOT EXISTS mqtt_outbox ("
      " seq INTEGER PRIMARY KEY AUTOINCREMENT,"
      " topic TEXT NOT NULL,"
      " payload TEXT NOT NULL)");
  insert_ = db_.prepare("INSERT INTO mqtt_outbox (seq, topic, payload) VALUES (?, ?, ?)");
  after_ =
      db_.prepare("SELECT seq, topic, payload FROM mqtt_outbox WHERE seq > ? ORDER BY seq LIMIT ?");
  remove_ = db_.prepare("DELETE FROM mqtt_outbox WHERE seq = ?");
  count_ = db_.prepare("SELECT COUNT(*) FROM mqtt_outbox");
  trim_ = db_.prepare(
      "DELETE FROM mqtt_outbox WHERE seq IN (SELECT seq FROM mqtt_outbox ORDER BY seq LIMIT ?)");
  // Subscribers discard a sequence number they have seen: one that cannot
  // be read must stop the host, not start again from 1.
  sqlite3_stmt* last = db_.prepare(
      "SELECT MAX(COALESCE((SELECT seq FROM sqlite_sequence WHERE name = 'mqtt_outbox'), 0),"
      " COALESCE((SELECT MAX(seq) FROM mqtt_outbox), 0))");
  {
    StatementReset r{last};
    if (sqlite3_step(last) != SQLITE_ROW) db_.fail("cannot read the outbox's last sequence number");
    if (sqlite3_column_type(last, 0) != SQLITE_INTEGER)
      throw HistoryError(db_.path() +
                         ": the outbox's last sequence number is not a whole number; the file "
                         "is damaged");
    next_ = sqlite3_column_int64(last, 0) + 1;
  }
  StatementReset r{count_};
  if (sqlite3_step(count_) != SQLITE_ROW) db_.fail("cannot count the outbox");
  size_ = static_cast<long>(sqlite3_column_int64(count_, 0));
}

long long MqttOutbox::next_seq() {
  std::lock_guard<std::mutex> g(lock_);
  return next_;
}

long MqttOutbox::append(const std::string& topic, const std::string& payload) {
  std::lock_guard<std::mutex> g(lock_);
  {
    StatementReset r{insert_};
    sqlite3_bind_int64(insert_, 1, next_);
    sqlite3_bind_text(insert_, 2, topic.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert_, 3, payload.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(insert_) != SQLITE_DONE) db_.fail("cannot write to the outbox");
  }
  ++next_;
  ++size_;
  if (size_ <= limit_) return 0;
  const long drop = size_ - limit_;
  StatementReset r{trim_};
  sqlite3_bind_int64(trim_, 1, drop);
  if (sqlite3_step(trim_) != SQLITE_DONE) db_.fail("cannot trim the outbox");
  size_ -= drop;
  return drop;
}

std::vector<OutboxRow> MqttOutbox::after(long long seq, size_t n) {
  std::lock_guard<std::mutex> g(lock_);
  StatementReset r{after_};
  sqlite3_bind_int64(after_, 1, seq);
  sqlite3_bind_int64(after_, 2, static_cast<sqlite3_int64>(n));
  std::vector<OutboxRow> rows;
  int rc;
  while ((rc = sqlite3_step(after_)) == SQLITE_ROW)
    rows.push_back({sqlite3_column_int64(after_, 0),
                    reinterpret_cast<const char*>(sqlite3_column_text(after_, 1)),
                    reinterpret_cast<const char*>(sqlite3_column_text(after_, 2))});
  if (rc != SQLITE_DONE) db_.fail("cannot read the outbox");
  return rows;
}

void MqttOutbox::remove(long long seq) {
  std::lock_guard<std::mutex> g(lock_);
  StatementReset r{remove_};
  sqlite3_bind_int64(remove_, 1, seq);
  if (sqlite3_step(remove_) != SQLITE_DONE) db_.fail("cannot remove from the outbox");
  size_ -= sqlite3_changes(db_.handle());
}

}  // namespace kplhost
