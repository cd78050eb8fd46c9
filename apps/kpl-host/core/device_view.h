// A device's latest values and active alarms, as the round's threshold
// check left them, for the status page, the metrics and the API. Written by
// the worker after each round, read by the I/O thread.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "host/rule_value.h"

namespace kplhost {

struct PointValue {
  std::string name;
  std::string desc;
  float value = 0;
  bool in_alarm = false;
};

struct ActiveAlarm {
  std::string id;
  std::string code;
  std::string desc;
  std::string label;
};

class DeviceView {
 public:
  struct Snapshot {
    long round = 0;
    std::vector<PointValue> values;
    std::vector<ActiveAlarm> alarms;
  };

  // Takes the round's rule results: every analogue value, and the alarm
  // points in alarm (an analogue value outside its limits is one too).
  void update(long round, const std::vector<rule_value>& records);
  Snapshot snapshot() const;

 private:
  mutable std::mutex lock_;
  Snapshot latest_;
};

}  // namespace kplhost
