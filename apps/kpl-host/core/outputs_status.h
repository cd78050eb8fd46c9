// How the host's outputs are doing, taken together at one moment for the
// status lines, the page and the metrics: the history database, the event
// stream and the broker connection.
#pragma once

#include <optional>
#include <string>

#include "apps/kpl-host/core/host_events.h"

namespace kplhost {

struct MqttStatus {
  bool connected = false;
  long outbox = 0;
  long dropped = 0;
  long published = 0;
  // Round values dropped because the link did not take them.
  long values_dropped = 0;
};

struct OutputsStatus {
  HistoryState history;
  // Only with an event stream; then its lost lines and why they are lost.
  bool has_event_stream = false;
  long event_lines_lost = 0;
  std::string event_problem = "none";
  // Only with a broker connection.
  std::optional<MqttStatus> mqtt;
};

}  // namespace kplhost
