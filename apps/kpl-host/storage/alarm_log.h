// The alarm log: every raise and clear of every device (its points and its
// communication loss), with the time, the change as the event stream writes
// it and, for a clear, how long the alarm lasted; kept in the host's
// database within a bound of rows and of age. The raise's row also keeps who
// acknowledged the alarm and when, and whether it is on the operator's list
// (active, or cleared and not yet acknowledged), which is loaded again at a
// restart. A listener, told of the changes on the worker thread after the
// alarm state and before the outputs.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "apps/kpl-host/core/alarm_records.h"
#include "apps/kpl-host/core/device_slot.h"
#include "apps/kpl-host/core/host_events.h"
#include "apps/kpl-host/storage/sqlite_file.h"

namespace kplhost {

struct AlarmLogBound {
  long rows = 20000;
  int days = 365;
};

class AlarmLog final : public HostEvents, public AlarmRecords {
 public:
  using Clock = std::chrono::system_clock;

  // Opens (or creates) the table in the database at path and prunes it;
  // throws HistoryError naming the file. acknowledging: whether operators
  // can acknowledge, so that a cleared alarm stays listed until they do.
  // others: told of each acknowledgement.
  AlarmLog(const std::string& path, AlarmLogBound bound, bool acknowledging, HostEvents& others,
           std::function<Clock::time_point()> clock = Clock::now);
  AlarmLog(const AlarmLog&) = delete;
  AlarmLog& operator=(const AlarmLog&) = delete;

  // Lists the device's alarms as the file has them. Throws HistoryError.
  void load(const DeviceSlot& slot);

  void round(const DeviceSlot& slot, const RoundSummary& summary) override;
  void communication(const DeviceSlot& slot, bool lost, const std::string& detail) override;

  AlarmLogPage page(const AlarmLogQuery& query) override;
  std::vector<ListedAlarm> acknowledge(const DeviceSlot& slot, long long seq,
                                       const std::string& by) override;

 private:
  struct Change {
    bool raised;
    std::string key;
    // The event stream's text from "state" on, without its leading comma.
    std::string text;
  };
  // Logs the changes in one transaction and lists them; a database that
  // refuses them is the device's problem, shown in its status.
  void log(const DeviceSlot& slot, const std::vector<Change>& changes);
  long long insert(unsigned int device, const Change& c, long long now_ms, const std::string& now,
                   const ListedAlarm* raise);
  void prune(long long now_ms);

  const AlarmLogBound bound_;
  const bool acknowledging_;
  HostEvents& others_;
  const std::function<Clock::time_point()> clock_;
  std::mutex lock_;
  SqliteFile db_;
  sqlite3_stmt* insert_ = nullptr;
  sqlite3_stmt* cleared_ = nullptr;
  sqlite3_stmt* acked_ = nullptr;
  sqlite3_stmt* listed_ = nullptr;
  sqlite3_stmt* prune_ = nullptr;
  sqlite3_stmt* after_ = nullptr;
  sqlite3_stmt* from_time_ = nullptr;
  sqlite3_stmt* before_ = nullptr;
  // Each device's list, as last given to its slot.
  std::map<unsigned int, std::vector<ListedAlarm>> lists_;
  long inserts_ = 0;
};

}  // namespace kplhost
