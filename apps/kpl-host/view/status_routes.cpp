#include "apps/kpl-host/view/status_routes.h"

#include <cctype>

#include "apps/kpl-host/view/devices_json.h"
#include "apps/kpl-host/view/metrics_text.h"
#include "apps/kpl-host/view/query_params.h"
#include "apps/kpl-host/view/status_page.h"
#include "apps/kpl-host/view/trend_plot.h"
#include "apps/kpl-host/view/trend_text.h"

namespace kplhost {

namespace {

constexpr const char* text = "text/plain; charset=utf-8";

// "device-7-temperature_1_value-24h.csv", with only safe characters.
std::string csv_name(const TrendQuery& q) {
  std::string name =
      "device-" + std::to_string(q.device_number) + "-" + q.point + "-" + q.range.name + ".csv";
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.') c = '_';
  return name;
}

HttpReply trend_reply(const TrendQuery& q, const TrendAnswer& a, bool csv) {
  switch (a.outcome) {
    case TrendAnswer::ok:
      if (csv) return {200, "text/csv; charset=utf-8", trend_csv(a), csv_name(q)};
      return {200, "application/json; charset=utf-8", trend_json(q, a)};
    case TrendAnswer::unknown:
      return {404, text, a.detail + "\n"};
    case TrendAnswer::busy:
      return {503, text, a.detail + "\n"};
    default:
      return {500, text, a.detail + "\n"};
  }
}

}  // namespace

void StatusRoutes::operator()(const HttpRequest& request, const HttpServer::Reply& reply) const {
  const std::string& path = request.path;
  if (path == "/" || path == "/index.html")
    return reply({200, "text/html; charset=utf-8", status_page_html()});
  if (path == "/trend-plot.js")
    return reply({200, "text/javascript; charset=utf-8", trend_plot_js()});
  if (path == "/api/devices")
    return reply({200, "application/json; charset=utf-8", devices_json(report_devices(registry_))});
  if (path == "/api/trend" || path == "/api/trend.csv")
    return trend(request, reply, path == "/api/trend.csv");
  if (path == "/metrics")
    return reply({200, "text/plain; version=0.0.4; charset=utf-8",
                  metrics_text(report_devices(registry_), outputs_())});
  reply({404, text, "not found; try /, /api/devices, /api/trend or /metrics\n"});
}

void StatusRoutes::trend(const HttpRequest& request, const HttpServer::Reply& reply,
                         bool csv) const {
  if (!trends_) return reply({404, text, "this host keeps no trends\n"});
  const auto device = query_value(request.query, "device");
  const auto point = query_value(request.query, "point");
  const auto range = trend_range(query_value(request.query, "range").value_or("24h"));
  if (!device || device->empty() || device->size() > 10 ||
      device->find_first_not_of("0123456789") != std::string::npos ||
      std::stoull(*device) > 4294967295ULL || !point || point->empty() || !range)
    return reply({400, text,
                  "expected device=N&point=NAME&range=24h, 7d or 1y, such as "
                  "/api/trend?device=7&point=temperature_1_value&range=24h\n"});
  TrendQuery q{static_cast<unsigned int>(std::stoull(*device)), *point, *range};
  trends_->query(q, [reply, q, csv](TrendAnswer a) { reply(trend_reply(q, a, csv)); });
}

}  // namespace kplhost
