// What the status endpoint answers: / the live page, /api/devices the
// devices as JSON, /metrics the Prometheus text; anything else is not found.
// Runs on the I/O thread, reading the host's own state.
#pragma once

#include <string>

#include "apps/kpl-host/device_slot.h"
#include "apps/kpl-host/event_log.h"
#include "apps/kpl-host/history_writer.h"
#include "apps/kpl-host/http_server.h"
#include "apps/kpl-host/mqtt_bridge.h"

namespace kplhost {

class StatusRoutes {
 public:
  StatusRoutes(const DeviceRegistry& registry, const HistoryWriter& history,
               const EventLog* event_log, const MqttBridge* mqtt)
      : registry_(registry), history_(history), event_log_(event_log), mqtt_(mqtt) {}

  HttpReply operator()(const std::string& path) const;

 private:
  const DeviceRegistry& registry_;
  const HistoryWriter& history_;
  const EventLog* event_log_;
  const MqttBridge* mqtt_;
};

}  // namespace kplhost
