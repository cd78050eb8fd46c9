// What the host keeps for each configured unit: its device, the lock that
// serialises every call into it, the state of its threshold rules, and the
// figures the status line shows.
#pragma once

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "apps/kpl-host/core/alarm_list.h"
#include "apps/kpl-host/core/config.h"
#include "apps/kpl-host/core/device_health.h"
#include "apps/kpl-host/core/device_view.h"
#include "apps/kpl-host/core/problem.h"
#include "host/kpl_socket_device.h"

namespace kplhost {

struct DeviceSlot {
  explicit DeviceSlot(DeviceConfig cfg)
      : config(std::move(cfg)),
        health(std::chrono::milliseconds(config.offline_after_ms),
               std::chrono::milliseconds(std::max(config.poll_interval_ms, 1000))) {}

  DeviceConfig config;
  std::shared_ptr<KPLSocketDevice> device;
  // Held by the I/O thread while it calls into the device (received data,
  // polls, connection events), so that nothing else calls into it at the
  // same time. The round work runs without it: its work item owns what it
  // reads.
  std::mutex lock;

  // Threshold rule state: in_alarm and rounds_checked touched only by the
  // worker, last_reported only by the I/O thread.
  std::map<std::string, bool> in_alarm;
  std::map<std::string, float> last_reported;
  long rounds_checked = 0;

  std::atomic<bool> connected{false};
  std::atomic<long> published{0};
  std::atomic<long> reconnects{0};
  std::atomic<long> history_dropped{0};
  // Set when a call into the device threw: nothing calls into it again.
  std::atomic<bool> failed{false};
  // What is wrong with the device now, if anything.
  // Mutable: the listeners that hear of the device may say what is wrong.
  mutable Problem problem;
  // What the host sees of the device's polling, and its latest values.
  DeviceHealth health;
  DeviceView view;
  // The alarms listed for the operator. Mutable: the alarm log, a listener,
  // keeps it.
  mutable AlarmList listed;
  // The state last told to the listeners, and whether the communication-loss
  // alarm is up; touched on the I/O thread only.
  HealthState reported_state = HealthState::connecting;
  bool communication_lost = false;
  // Whether `problem` says why a connected device delivers no rounds.
  bool silent_problem = false;
  // Whether `problem` is the link's: it lasts across connections that
  // deliver no round, and ends with the next round. I/O thread only.
  bool link_problem = false;
  // Drops the connection and makes it again; set by the transport, called
  // on the I/O thread with the device's lock held.
  std::function<void(const std::string& why)> reopen_link;
  // Whether the configured threshold names were checked against the points
  // of the device's first round. Touched only by the worker.
  bool names_checked = false;
};

// Finds a device's slot from the device itself. Filled before any device
// runs and only read afterwards.
class DeviceRegistry {
 public:
  DeviceSlot& add(DeviceConfig cfg) {
    slots_.push_back(std::make_unique<DeviceSlot>(std::move(cfg)));
    return *slots_.back();
  }
  void bind(DeviceSlot& slot) { by_device_[slot.device.get()] = &slot; }
  DeviceSlot& of(const KPLVDevice& dev) const { return *by_device_.at(&dev); }
  const std::vector<std::unique_ptr<DeviceSlot>>& slots() const { return slots_; }
  void clear() {
    by_device_.clear();
    slots_.clear();
  }

 private:
  std::vector<std::unique_ptr<DeviceSlot>> slots_;
  std::unordered_map<const KPLVDevice*, DeviceSlot*> by_device_;
};

}  // namespace kplhost
