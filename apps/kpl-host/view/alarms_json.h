// The alarm log as /api/alarms shows it: {"alarms":[...],"more":bool}, one
// object per raise or clear with its row number (seq), time, device (with
// the names it was given) and the change's fields as the event stream
// writes them; a clear adds the raise it ends and how long the alarm
// lasted, a raise who acknowledged it and when.
#pragma once

#include <string>

#include "apps/kpl-host/core/alarm_records.h"
#include "apps/kpl-host/core/device_slot.h"

namespace kplhost {

std::string alarms_json(const AlarmLogPage& page, const DeviceRegistry& registry);

}  // namespace kplhost
