// The event stream: one JSON object per line, in the order the host sees
// the calls, of the kinds asked for (core/event_kinds.h). Each line goes to
// the file whole (outputs/event_file.h, which also bounds it); alarm changes
// and the host's own troubles are also forced to the disk, since they are
// what an operator reads after a crash. A line the disk will not take is
// lost, counted and reported, never left half written.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <set>
#include <string>

#include "apps/kpl-host/core/event_kinds.h"
#include "apps/kpl-host/core/host_events.h"
#include "apps/kpl-host/core/problem.h"
#include "apps/kpl-host/core/thread_guard.h"
#include "apps/kpl-host/outputs/event_file.h"

namespace kplhost {

class EventLog final : public HostEvents {
 public:
  // Told once when lines start being lost, and again when writing resumes.
  using Report = std::function<void(const std::string&)>;

  // Opens the file for appending, creating it if need be, never truncating
  // it; throws std::runtime_error naming it. Only events of the kinds given
  // are written. threads: where the file's sync thread says that it failed.
  EventLog(const std::string& path, ThreadGuard& threads,
           std::set<std::string> kinds = every_event_kind(), EventFile::Bounds bounds = {},
           Report report = nullptr);
  ~EventLog() override;
  EventLog(const EventLog&) = delete;
  EventLog& operator=(const EventLog&) = delete;

  void threshold(const DeviceSlot&, const std::string& name, const std::string& desc, float value,
                 int number) override;
  void alarm_point(const DeviceSlot&, int one, const std::string& id, const std::string& code,
                   const std::string& desc, const std::string& label, bool flag,
                   unsigned short number) override;
  void publish(const DeviceSlot&, int image_id, const unsigned char* data, int len) override;
  void round(const DeviceSlot&, const RoundSummary& summary) override;
  void link(const DeviceSlot&, bool up, const std::string& detail) override;
  void history(const HistoryState& state) override;
  void device_failed(const DeviceSlot&, const std::string& detail) override;
  void unknown_point(const DeviceSlot&, const char* key, const std::string& name,
                     const std::string& hint) override;
  void communication(const DeviceSlot&, bool lost, const std::string& detail) override;
  void mqtt(const std::string& state, const std::string& detail) override;
  void acknowledged(const DeviceSlot&, const ListedAlarm& alarm) override;
  void device_state(const DeviceSlot&, HealthState state) override;

  // Opens the file by its name again, after an outside rotation; returns
  // what went wrong (lines then go on to the old file), or empty.
  std::string reopen() { return file_.reopen(); }
  // Without the lock held while a line is written: read on the I/O thread
  // for the status.
  long lines_lost() const { return lost_; }
  // Why lines are being lost, while they are.
  Problem problem;

 private:
  // Starts a line: {"event":"<kind>","device":<number>
  static std::string begin(const char* kind, const DeviceSlot& slot);
  // Ends and writes the line; `durable` forces it to the disk.
  void write(std::string& line, bool durable = false);
  bool wants(const char* kind) const { return kinds_.count(kind) != 0; }

  const std::string path_;
  const std::set<std::string> kinds_;
  const Report report_;
  EventFile file_;
  mutable std::mutex lock_;
  std::atomic<long> lost_{0};
  // Lines are being lost: since the first of them, lost_before_ were lost
  // before; the last was lost at last_loss_.
  bool losing_ = false;
  long lost_before_ = 0;
  std::chrono::steady_clock::time_point last_loss_{};
};

}  // namespace kplhost
