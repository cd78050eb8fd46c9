// The barrier around every call into a device: an exception from one
// plug-in call stops that device, says so, and leaves every other device
// polling. Nothing calls into a stopped device again until the host is
// restarted.
#pragma once

#include <exception>
#include <string>

#include "apps/kpl-host/core/device_slot.h"
#include "apps/kpl-host/core/host_events.h"

namespace kplhost {

class DeviceCalls {
 public:
  explicit DeviceCalls(HostEvents& events) : events_(events) {}

  // Runs f, a call into the device named by operation; false when the
  // device is stopped, or stops now because f threw.
  template <class F>
  bool run(DeviceSlot& slot, const char* operation, F&& f) {
    if (slot.failed) return false;
    return run_anyway(slot, operation, f);
  }
  // The same for a round's follow-up, which runs even after its device has
  // stopped: the round it carries was complete, and a work item left unrun
  // would keep its device alive for good.
  template <class F>
  bool run_anyway(DeviceSlot& slot, const char* operation, F&& f) {
    try {
      f();
      return true;
    } catch (const std::exception& e) {
      failed(slot, operation, e.what());
    } catch (...) {
      failed(slot, operation, "an exception of unknown type");
    }
    return false;
  }

 private:
  void failed(DeviceSlot& slot, const char* operation, const std::string& what) {
    const std::string detail = std::string(operation) + " threw: " + what;
    const bool first = !slot.failed.exchange(true);
    if (!first) return;
    slot.problem.set("stopped, " + detail);
    events_.device_failed(slot, detail);
  }

  HostEvents& events_;
};

}  // namespace kplhost
