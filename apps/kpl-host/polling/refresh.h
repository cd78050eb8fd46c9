// One poll of a device: its RefreshStatus through the barrier, and a pass
// it says it started counted in its health. The caller holds the device's
// lock.
#pragma once

#include "apps/kpl-host/core/device_calls.h"
#include "apps/kpl-host/core/device_slot.h"

namespace kplhost {

// False when the device is stopped, or stops now because it threw.
inline bool refresh_status(DeviceSlot& slot, DeviceCalls& calls) {
  int started = 0;
  if (!calls.run(slot, "RefreshStatus", [&] { started = slot.device->RefreshStatus(); }))
    return false;
  if (started == 1) slot.health.pass_started();
  return true;
}

}  // namespace kplhost
