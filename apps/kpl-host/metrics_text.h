// The host's state in the Prometheus text exposition format: per device its
// health, counters and pass durations, its values (not while they are
// stale) and its active alarms; for the host, history and event stream
// losses.
#pragma once

#include <string>
#include <vector>

#include "apps/kpl-host/device_report.h"
#include "apps/kpl-host/host_events.h"
#include "apps/kpl-host/mqtt_bridge.h"

namespace kplhost {

// A sample's value as the format writes it: NaN, +Inf, -Inf, nine significant
// digits, or fixed with three decimals from a million up to 1e15.
std::string metric_number(double v);

// mqtt: the broker connection's figures, when there is one.
std::string metrics_text(const std::vector<DeviceReport>& devices, const HistoryState& history,
                         long event_lines_lost, const MqttStatus* mqtt = nullptr);

}  // namespace kplhost
