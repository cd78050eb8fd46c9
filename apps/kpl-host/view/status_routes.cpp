#include "apps/kpl-host/view/status_routes.h"

#include "apps/kpl-host/view/devices_json.h"
#include "apps/kpl-host/view/metrics_text.h"
#include "apps/kpl-host/view/status_page.h"

namespace kplhost {

HttpReply StatusRoutes::operator()(const std::string& path) const {
  if (path == "/" || path == "/index.html")
    return {200, "text/html; charset=utf-8", status_page_html()};
  if (path == "/api/devices")
    return {200, "application/json; charset=utf-8", devices_json(report_devices(registry_))};
  if (path == "/metrics") {
    return {200, "text/plain; version=0.0.4; charset=utf-8",
            metrics_text(report_devices(registry_), outputs_())};
  }
  return {404, "text/plain; charset=utf-8", "not found; try /, /api/devices or /metrics\n"};
}

}  // namespace kplhost
