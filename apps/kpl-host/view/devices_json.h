// The devices as /api/devices shows them: one object per device with its
// health, its active alarms (ids, codes, texts in UTF-8) and its values.
#pragma once

#include <string>
#include <vector>

#include "apps/kpl-host/core/device_report.h"

namespace kplhost {

std::string devices_json(const std::vector<DeviceReport>& devices);

}  // namespace kplhost
