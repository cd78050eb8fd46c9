// One poll of a device: its RefreshStatus through the barrier, and a pass
// it says it started counted in its health. The caller holds the device's
// lock.
#pragma once

#include <string>

#include "apps/kpl-host/core/device_calls.h"
#include "apps/kpl-host/core/device_slot.h"

namespace kplhost {

// False when the device is stopped, or stops now because it threw.
inline bool refresh_status(DeviceSlot& slot, DeviceCalls& calls) {
  int started = 0;
  if (!calls.run(slot, "RefreshStatus", [&] { started = slot.device->RefreshStatus(); }))
    return false;
  if (started != 1) return true;
  // Passes started again one after another: the replies do not come, and a
  // connection whose peer is gone may look open for many minutes. It is
  // dropped and made again rather than fed more requests.
  const int in_a_row = slot.health.pass_started();
  if (in_a_row >= slot.config.timeouts_before_reconnect && slot.reopen_link)
    slot.reopen_link("no reply to " + std::to_string(in_a_row) + " passes in a row");
  return true;
}

}  // namespace kplhost
