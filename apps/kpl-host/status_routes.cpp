#include "apps/kpl-host/status_routes.h"

#include "apps/kpl-host/devices_json.h"
#include "apps/kpl-host/metrics_text.h"
#include "apps/kpl-host/status_page.h"

namespace kplhost {

HttpReply StatusRoutes::operator()(const std::string& path) const {
  if (path == "/" || path == "/index.html")
    return {200, "text/html; charset=utf-8", status_page_html()};
  if (path == "/api/devices")
    return {200, "application/json; charset=utf-8", devices_json(report_devices(registry_))};
  if (path == "/metrics") {
    const MqttStatus mqtt = mqtt_ ? mqtt_->status() : MqttStatus{};
    return {200, "text/plain; version=0.0.4; charset=utf-8",
            metrics_text(report_devices(registry_), history_.state(),
                         event_log_ ? event_log_->lines_lost() : 0, mqtt_ ? &mqtt : nullptr)};
  }
  return {404, "text/plain; charset=utf-8", "not found; try /, /api/devices or /metrics\n"};
}

}  // namespace kplhost
