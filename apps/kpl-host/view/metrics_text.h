// The host's state in the Prometheus text exposition format: per device its
// health, counters and pass durations, its values (not while they are
// stale) and its active alarms; for the host, history and event stream
// losses.
#pragma once

#include <string>
#include <vector>

#include "apps/kpl-host/core/device_report.h"
#include "apps/kpl-host/core/outputs_status.h"

namespace kplhost {

// A sample's value as the format writes it: NaN, +Inf, -Inf, nine significant
// digits, or fixed with three decimals from a million up to 1e15.
std::string metric_number(double v);

// The broker connection's figures only when there is one.
std::string metrics_text(const std::vector<DeviceReport>& devices, const OutputsStatus& outputs);

}  // namespace kplhost
