#include "apps/kpl-host/storage/alarm_log.h"

#include <json/reader.h>
#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <memory>

#include "apps/kpl-host/core/alarm_text.h"
#include "apps/kpl-host/core/device_report.h"
#include "apps/kpl-host/core/point_key.h"

namespace kplhost {

namespace {

// Pruning at every row would double the writes; at every hundredth the log
// stays within a hundred rows of its bound.
constexpr long prune_every = 100;
constexpr const char* columns =
    "seq, unix_ms, local_time, device_number, state, fields, raised_seq, duration_s, ack_by, "
    "ack_time";

long long ms_of(AlarmLog::Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
}

std::string text_column(sqlite3_stmt* s, int i) {
  const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
  return t ? t : "";
}

// The change's fields after "state", as the event stream writes them.
std::string fields_after_state(const std::string& text) {
  const size_t comma = text.find(',', 1);
  return comma == std::string::npos ? std::string() : text.substr(comma + 1);
}

// The alarm as the views show it, read from its logged fields.
void show(ListedAlarm& a) {
  Json::Value v;
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  const std::string doc = "{" + a.fields + "}";
  if (!reader->parse(doc.data(), doc.data() + doc.size(), &v, nullptr)) return;
  a.id = v.isMember("id") ? v["id"].asString() : v["name"].asString();
  a.code = v["code"].asString();
  a.desc = v["desc"].asString();
  a.label = v["label"].asString();
}

struct Transaction {
  explicit Transaction(SqliteFile& db) : db(db) { db.exec("BEGIN IMMEDIATE"); }
  ~Transaction() {
    if (done) return;
    char* ignored = nullptr;
    sqlite3_exec(db.handle(), "ROLLBACK", nullptr, nullptr, &ignored);
    sqlite3_free(ignored);
  }
  void commit() {
    db.exec("COMMIT");
    done = true;
  }
  SqliteFile& db;
  bool done = false;
};

}  // namespace

AlarmLog::AlarmLog(const std::string& path, AlarmLogBound bound, bool acknowledging,
                   HostEvents& others, std::function<Clock::time_point()> clock)
    : bound_(bound),
      acknowledging_(acknowledging),
      others_(others),
      clock_(std::move(clock)),
      // Alarm records, as the alarm state: forced to the disk at every
      // commit, since the broker and the page may already tell of them.
      db_(path, "the alarm log", SqliteFile::Sync::every_commit) {
  // Written a few rows at a time and read a page at a time: a small cache
  // keeps the controller's memory for the rest.
  db_.exec("PRAGMA cache_size=-256");
  db_.exec(
      "CREATE TABLE IF NOT EXISTS alarm_log ("
      " seq INTEGER PRIMARY KEY AUTOINCREMENT,"
      " unix_ms INTEGER NOT NULL,"
      " local_time TEXT NOT NULL,"
      " device_number INTEGER NOT NULL,"
      " point TEXT NOT NULL,"
      " state TEXT NOT NULL,"
      " fields TEXT NOT NULL,"
      " raised_seq INTEGER,"
      " duration_s REAL,"
      " listed INTEGER NOT NULL DEFAULT 0,"
      " cleared_time TEXT,"
      " ack_by TEXT,"
      " ack_time TEXT)");
  db_.exec("CREATE INDEX IF NOT EXISTS alarm_log_listed ON alarm_log (device_number) WHERE listed");
  insert_ = db_.prepare(
      "INSERT INTO alarm_log (unix_ms, local_time, device_number, point, state, fields, "
      "raised_seq, duration_s, listed) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
  cleared_ = db_.prepare("UPDATE alarm_log SET cleared_time = ?, listed = ? WHERE seq = ?");
  acked_ = db_.prepare("UPDATE alarm_log SET ack_by = ?, ack_time = ?, listed = ? WHERE seq = ?");
  listed_ = db_.prepare(
      "SELECT seq, point, fields, local_time, unix_ms, cleared_time, ack_by, ack_time "
      "FROM alarm_log WHERE device_number = ? AND listed ORDER BY seq");
  // Listed rows stay whatever their age: they are what the operator has
  // still to see to.
  prune_ = db_.prepare(
      "DELETE FROM alarm_log WHERE NOT listed AND (unix_ms < ?1 OR seq <= (SELECT seq FROM "
      "alarm_log ORDER BY seq DESC LIMIT 1 OFFSET ?2))");
  const std::string select = std::string("SELECT ") + columns + " FROM alarm_log WHERE ";
  const std::string device = " AND (?2 IS NULL OR device_number = ?2) ";
  after_ = db_.prepare((select + "seq > ?1" + device + "ORDER BY seq LIMIT ?3").c_str());
  from_time_ = db_.prepare((select + "unix_ms >= ?1" + device + "ORDER BY seq LIMIT ?3").c_str());
  before_ = db_.prepare((select + "seq < ?1" + device + "ORDER BY seq DESC LIMIT ?3").c_str());
  std::lock_guard<std::mutex> g(lock_);
  prune(ms_of(clock_()));
}

void AlarmLog::prune(long long now_ms) {
  StatementReset r{prune_};
  sqlite3_bind_int64(prune_, 1, now_ms - 86400000LL * bound_.days);
  sqlite3_bind_int64(prune_, 2, bound_.rows);
  if (sqlite3_step(prune_) != SQLITE_DONE) db_.fail("cannot prune the alarm log");
}

void AlarmLog::load(const DeviceSlot& slot) {
  const unsigned int device = slot.config.device_number;
  std::lock_guard<std::mutex> g(lock_);
  std::vector<ListedAlarm> list;
  std::vector<long long> unlisted;
  {
    StatementReset r{listed_};
    sqlite3_bind_int64(listed_, 1, device);
    int rc;
    while ((rc = sqlite3_step(listed_)) == SQLITE_ROW) {
      ListedAlarm a;
      a.seq = sqlite3_column_int64(listed_, 0);
      a.key = text_column(listed_, 1);
      a.fields = text_column(listed_, 2);
      a.raised_time = text_column(listed_, 3);
      a.raised_ms = sqlite3_column_int64(listed_, 4);
      a.active = sqlite3_column_type(listed_, 5) == SQLITE_NULL;
      a.cleared_time = text_column(listed_, 5);
      a.ack_by = text_column(listed_, 6);
      a.ack_time = text_column(listed_, 7);
      // Listed when operators could acknowledge; now that they cannot, a
      // cleared alarm leaves the list.
      if (!a.active && !acknowledging_) {
        unlisted.push_back(a.seq);
        continue;
      }
      show(a);
      list.push_back(std::move(a));
    }
    if (rc != SQLITE_DONE) db_.fail("cannot read the listed alarms");
  }
  for (long long seq : unlisted) {
    StatementReset r{acked_};
    sqlite3_bind_null(acked_, 1);
    sqlite3_bind_null(acked_, 2);
    sqlite3_bind_int(acked_, 3, 0);
    sqlite3_bind_int64(acked_, 4, seq);
    if (sqlite3_step(acked_) != SQLITE_DONE) db_.fail("cannot update the alarm log");
  }
  lists_[device] = list;
  slot.listed.set(std::move(list));
}

long long AlarmLog::insert(unsigned int device, const Change& c, long long now_ms,
                           const std::string& now, const ListedAlarm* raise) {
  StatementReset r{insert_};
  sqlite3_bind_int64(insert_, 1, now_ms);
  sqlite3_bind_text(insert_, 2, now.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_int64(insert_, 3, device);
  sqlite3_bind_text(insert_, 4, c.key.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(insert_, 5, c.raised ? "raised" : "cleared", -1, SQLITE_STATIC);
  sqlite3_bind_text(insert_, 6, c.text.c_str(), -1, SQLITE_TRANSIENT);
  if (raise && raise->seq > 0) {
    sqlite3_bind_int64(insert_, 7, raise->seq);
    sqlite3_bind_double(insert_, 8,
                        static_cast<double>(std::max(0LL, now_ms - raise->raised_ms)) / 1000);
  }
  sqlite3_bind_int(insert_, 9, c.raised ? 1 : 0);
  if (sqlite3_step(insert_) != SQLITE_DONE) db_.fail("cannot log an alarm change");
  return sqlite3_last_insert_rowid(db_.handle());
}

void AlarmLog::log(const DeviceSlot& slot, const std::vector<Change>& changes) {
  if (changes.empty()) return;
  const unsigned int device = slot.config.device_number;
  const Clock::time_point now = clock_();
  const long long now_ms = ms_of(now);
  const std::string now_text = local_time_text(now);
  std::lock_guard<std::mutex> g(lock_);
  std::vector<ListedAlarm>& list = lists_[device];
  try {
    Transaction t(db_);
    for (const Change& c : changes) {
      if (c.raised) {
        ListedAlarm a;
        a.key = c.key;
        a.fields = c.text;
        a.raised_time = now_text;
        a.raised_ms = now_ms;
        show(a);
        a.seq = insert(device, c, now_ms, now_text, nullptr);
        list.push_back(std::move(a));
        continue;
      }
      // The clear ends the raise of the same point that is still active.
      auto raise = std::find_if(list.begin(), list.end(),
                                [&](const ListedAlarm& a) { return a.active && a.key == c.key; });
      insert(device, c, now_ms, now_text, raise == list.end() ? nullptr : &*raise);
      if (raise == list.end()) continue;
      // Cleared, it stays listed until acknowledged, where anyone can.
      const bool stays = acknowledging_ && !raise->acknowledged();
      {
        StatementReset r{cleared_};
        sqlite3_bind_text(cleared_, 1, now_text.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(cleared_, 2, stays ? 1 : 0);
        sqlite3_bind_int64(cleared_, 3, raise->seq);
        if (sqlite3_step(cleared_) != SQLITE_DONE) db_.fail("cannot update the alarm log");
      }
      if (stays) {
        raise->active = false;
        raise->cleared_time = now_text;
      } else {
        list.erase(raise);
      }
    }
    t.commit();
    inserts_ += static_cast<long>(changes.size());
    if (inserts_ >= prune_every) {
      inserts_ = 0;
      prune(now_ms);
    }
  } catch (const HistoryError& e) {
    slot.problem.set(e.what());
  }
  slot.listed.set(list);
}

void AlarmLog::round(const DeviceSlot& slot, const RoundSummary& summary) {
  std::vector<Change> changes;
  for (const AlarmChange& c : summary.changes) {
    std::string text;
    append_alarm_change(text, c, summary.round);
    changes.push_back({c.raised, point_key(c.record), fields_after_state(text)});
  }
  log(slot, changes);
}

void AlarmLog::communication(const DeviceSlot& slot, bool lost, const std::string& detail) {
  std::string text;
  append_communication_change(text, lost, detail);
  log(slot, {{lost, communication_lost_id, fields_after_state(text)}});
}

std::vector<ListedAlarm> AlarmLog::acknowledge(const DeviceSlot& slot, long long seq,
                                               const std::string& by) {
  const unsigned int device = slot.config.device_number;
  const std::string now = local_time_text(clock_());
  std::vector<ListedAlarm> done;
  {
    std::lock_guard<std::mutex> g(lock_);
    std::vector<ListedAlarm>& list = lists_[device];
    Transaction t(db_);
    for (ListedAlarm& a : list) {
      if (a.acknowledged() || (seq != 0 && a.seq != seq)) continue;
      StatementReset r{acked_};
      sqlite3_bind_text(acked_, 1, by.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(acked_, 2, now.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int(acked_, 3, a.active ? 1 : 0);
      sqlite3_bind_int64(acked_, 4, a.seq);
      if (sqlite3_step(acked_) != SQLITE_DONE) db_.fail("cannot keep an acknowledgement");
      a.ack_by = by;
      a.ack_time = now;
      done.push_back(a);
    }
    t.commit();
    // Cleared and acknowledged: done with.
    list.erase(std::remove_if(list.begin(), list.end(),
                              [](const ListedAlarm& a) { return !a.active && a.acknowledged(); }),
               list.end());
    slot.listed.set(list);
  }
  for (const ListedAlarm& a : done) others_.acknowledged(slot, a);
  return done;
}

AlarmLogPage AlarmLog::page(const AlarmLogQuery& q) {
  sqlite3_stmt* s = q.since_seq ? after_ : q.since_ms ? from_time_ : before_;
  std::lock_guard<std::mutex> g(lock_);
  StatementReset r{s};
  sqlite3_bind_int64(s, 1,
                     q.since_seq  ? *q.since_seq
                     : q.since_ms ? *q.since_ms
                                  : q.before_seq.value_or(LLONG_MAX));
  if (q.device) sqlite3_bind_int64(s, 2, *q.device);
  // One more than asked: whether there is more.
  sqlite3_bind_int64(s, 3, static_cast<sqlite3_int64>(q.limit) + 1);
  AlarmLogPage page;
  int rc;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
    if (page.entries.size() == q.limit) {
      page.more = true;
      continue;
    }
    AlarmLogEntry e;
    e.seq = sqlite3_column_int64(s, 0);
    e.unix_ms = sqlite3_column_int64(s, 1);
    e.local_time = text_column(s, 2);
    e.device_number = static_cast<unsigned int>(sqlite3_column_int64(s, 3));
    e.raised = text_column(s, 4) == "raised";
    e.fields = text_column(s, 5);
    e.raised_seq = sqlite3_column_int64(s, 6);
    if (sqlite3_column_type(s, 7) != SQLITE_NULL) e.duration_s = sqlite3_column_double(s, 7);
    e.ack_by = text_column(s, 8);
    e.ack_time = text_column(s, 9);
    page.entries.push_back(std::move(e));
  }
  if (rc != SQLITE_DONE) db_.fail("cannot read the alarm log");
  return page;
}

}  // namespace kplhost
