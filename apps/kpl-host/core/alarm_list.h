// The alarms an operator is shown for a device: every active alarm and,
// where alarms are acknowledged, every cleared one that is not yet. An alarm
// leaves the list once it is both cleared and acknowledged (or cleared, where
// nobody can acknowledge). Written on the worker thread by the alarm log,
// read by the page, the API and the broker connection.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace kplhost {

struct ListedAlarm {
  // The alarm log's row of the raise: what an acknowledgement names.
  long long seq = 0;
  // The point's key (see point_key.h), or communication_lost.
  std::string key;
  // As /api/devices shows an alarm: an alarm point's id, code, text and
  // block label; an analogue point's name and text.
  std::string id, code, desc, label;
  // The raise as the event stream writes it, the fields after "state":
  // "round":..,"id":.. (or "name":..) and the rest, without a leading comma.
  std::string fields;
  std::string raised_time;
  long long raised_ms = 0;
  bool active = true;
  std::string cleared_time;
  // Who acknowledged it and when (local time); empty while nobody has.
  std::string ack_by, ack_time;

  bool acknowledged() const { return !ack_by.empty(); }
};

class AlarmList {
 public:
  void set(std::vector<ListedAlarm> alarms) {
    std::lock_guard<std::mutex> g(lock_);
    alarms_ = std::move(alarms);
  }
  std::vector<ListedAlarm> snapshot() const {
    std::lock_guard<std::mutex> g(lock_);
    return alarms_;
  }

 private:
  mutable std::mutex lock_;
  std::vector<ListedAlarm> alarms_;
};

}  // namespace kplhost
