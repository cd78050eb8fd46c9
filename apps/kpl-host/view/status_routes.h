// What the status endpoint answers: / the live page, /trend-plot.js the
// plot it draws trends with, /api/devices the devices as JSON, /api/trend
// (and /api/trend.csv) a point's trend, /metrics the Prometheus text;
// anything else is not found. Runs on the I/O thread, reading the host's
// own state; a trend is answered by the thread that keeps the trends.
#pragma once

#include <functional>
#include <string>

#include "apps/kpl-host/core/device_slot.h"
#include "apps/kpl-host/core/outputs_status.h"
#include "apps/kpl-host/core/trend_source.h"
#include "apps/kpl-host/view/http_server.h"

namespace kplhost {

class StatusRoutes {
 public:
  // outputs: how the history, the event stream and the broker are doing,
  // taken when asked. trends: none when the host keeps no trends.
  StatusRoutes(const DeviceRegistry& registry, std::function<OutputsStatus()> outputs,
               TrendSource* trends = nullptr)
      : registry_(registry), outputs_(std::move(outputs)), trends_(trends) {}

  void operator()(const HttpRequest& request, const HttpServer::Reply& reply) const;

 private:
  // /api/trend?device=N&point=NAME&range=24h|7d|1y, as JSON or CSV.
  void trend(const HttpRequest& request, const HttpServer::Reply& reply, bool csv) const;

  const DeviceRegistry& registry_;
  std::function<OutputsStatus()> outputs_;
  TrendSource* trends_;
};

}  // namespace kplhost
