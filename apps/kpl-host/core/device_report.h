// One device as the operator's views show it: its health, its latest values
// and alarms, and the host's counts for it, taken together at one moment.
#pragma once

#include <string>
#include <vector>

#include "apps/kpl-host/core/device_slot.h"

namespace kplhost {

struct DeviceReport {
  const DeviceSlot* slot;
  DeviceHealth::Snapshot health;
  DeviceView::Snapshot view;
  bool connected;
  long reconnects;
  long history_dropped;
  std::string last_error;
  // Offline or stopped: the values are the last ones seen, not current.
  bool stale() const {
    return health.state == HealthState::offline || health.state == HealthState::failed;
  }
};

std::vector<DeviceReport> report_devices(const DeviceRegistry& registry);

// Local time as the views write it: "2026-12-08 17:05:09".
std::string local_time_text(DeviceHealth::Wall::time_point t);

}  // namespace kplhost
