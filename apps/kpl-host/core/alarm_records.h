// The alarm log as the operator's views ask for it: a page of its rows,
// and the acknowledgement of listed alarms. Kept in the host's database
// (storage/); asked off the I/O thread, since a database may keep it waiting.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "apps/kpl-host/core/alarm_list.h"

namespace kplhost {

struct DeviceSlot;

// One raise or clear, as it was logged.
struct AlarmLogEntry {
  long long seq = 0;
  long long unix_ms = 0;
  std::string local_time;
  unsigned int device_number = 0;
  bool raised = true;
  // The change as the event stream writes it, after "state" (see ListedAlarm).
  std::string fields;
  // A clear: the raise it ends and how long the alarm lasted, when known.
  long long raised_seq = 0;
  std::optional<double> duration_s;
  // A raise: who acknowledged it and when.
  std::string ack_by, ack_time;
};

struct AlarmLogQuery {
  // Rows after this one, oldest first (a reader following the log) ...
  std::optional<long long> since_seq;
  // ... or from this time (milliseconds since the epoch), oldest first ...
  std::optional<long long> since_ms;
  // ... or else the newest, newest first, before this row when given.
  std::optional<long long> before_seq;
  std::optional<unsigned int> device;
  std::size_t limit = 50;
};

struct AlarmLogPage {
  std::vector<AlarmLogEntry> entries;
  // Whether more rows lie beyond the last one, in the page's direction.
  bool more = false;
};

class AlarmRecords {
 public:
  virtual ~AlarmRecords() = default;
  // Throws std::runtime_error when the database cannot be read.
  virtual AlarmLogPage page(const AlarmLogQuery& query) = 0;
  // Acknowledges the device's listed alarm raised as `seq`, or all its
  // listed alarms when seq is 0, that nobody has yet; returns those
  // acknowledged now. Throws std::runtime_error when they cannot be kept.
  virtual std::vector<ListedAlarm> acknowledge(const DeviceSlot& slot, long long seq,
                                               const std::string& by) = 0;
};

}  // namespace kplhost
