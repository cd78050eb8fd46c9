// What the status endpoint answers: / the live page, /api/devices the
// devices as JSON, /metrics the Prometheus text; anything else is not found.
// Runs on the I/O thread, reading the host's own state.
#pragma once

#include <functional>
#include <string>

#include "apps/kpl-host/core/device_slot.h"
#include "apps/kpl-host/core/outputs_status.h"
#include "apps/kpl-host/view/http_server.h"

namespace kplhost {

class StatusRoutes {
 public:
  // outputs: how the history, the event stream and the broker are doing,
  // taken when asked.
  StatusRoutes(const DeviceRegistry& registry, std::function<OutputsStatus()> outputs)
      : registry_(registry), outputs_(std::move(outputs)) {}

  HttpReply operator()(const std::string& path) const;

 private:
  const DeviceRegistry& registry_;
  std::function<OutputsStatus()> outputs_;
};

}  // namespace kplhost
