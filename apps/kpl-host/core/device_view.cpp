#include "apps/kpl-host/core/device_view.h"

#include "host/rule_value.h"

namespace kplhost {

void DeviceView::update(long round, const std::vector<rule_value>& records) {
  Snapshot next;
  next.round = round;
  for (const rule_value& r : records) {
    const bool alarm = r.state == rule_in_alarm;
    if (r.kind == rule_analogue) {
      // A value re-checked at the end of the round is the same point again.
      bool again = false;
      for (const PointValue& v : next.values) again = again || v.name == r.name;
      if (again) continue;
      next.values.push_back({r.name, r.desc, value_of_bits(r.value_bits), alarm});
      if (alarm) next.alarms.push_back({r.name, "", r.desc, ""});
    } else if (alarm) {
      next.alarms.push_back({r.name, r.code, r.desc, r.label});
    }
  }
  std::lock_guard<std::mutex> g(lock_);
  latest_ = std::move(next);
}

DeviceView::Snapshot DeviceView::snapshot() const {
  std::lock_guard<std::mutex> g(lock_);
  return latest_;
}

}  // namespace kplhost
