#include "apps/kpl-host/view/status_routes.h"

#include <cctype>
#include <ctime>
#include <exception>

#include "apps/kpl-host/core/json_text.h"
#include "apps/kpl-host/view/alarms_json.h"
#include "apps/kpl-host/view/devices_json.h"
#include "apps/kpl-host/view/form_fields.h"
#include "apps/kpl-host/view/login.h"
#include "apps/kpl-host/view/metrics_text.h"
#include "apps/kpl-host/view/request_guard.h"
#include "apps/kpl-host/view/site_page.h"
#include "apps/kpl-host/view/status_page.h"
#include "apps/kpl-host/view/trend_plot.h"
#include "apps/kpl-host/view/trend_text.h"

namespace kplhost {

namespace {

const char* const json_type = "application/json; charset=utf-8";
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

HttpReply problem(int status, const std::string& what) {
  return {status, "text/plain; charset=utf-8", what + "\n"};
}

// Digits only, at most 18 of them: a row or device number.
bool whole(const std::string& s, long long& out) {
  if (s.empty() || s.size() > 18 || s.find_first_not_of("0123456789") != std::string::npos)
    return false;
  out = std::stoll(s);
  return true;
}

// "2026-12-08 17:05:09" (a T for the blank will do, and the seconds may be
// left out), local time, as milliseconds since the epoch.
bool local_time_ms(const std::string& s, long long& out) {
  static const std::string shape = "dddd-dd-dd dd:dd:dd";
  if (s.size() != 16 && s.size() != 19) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(s[i]));
    if (shape[i] == 'd' ? !digit : s[i] != shape[i] && !(i == 10 && s[i] == 'T')) return false;
  }
  std::tm tm{};
  tm.tm_year = std::stoi(s.substr(0, 4)) - 1900;
  tm.tm_mon = std::stoi(s.substr(5, 2)) - 1;
  tm.tm_mday = std::stoi(s.substr(8, 2));
  tm.tm_hour = std::stoi(s.substr(11, 2));
  tm.tm_min = std::stoi(s.substr(14, 2));
  tm.tm_sec = s.size() == 19 ? std::stoi(s.substr(17, 2)) : 0;
  tm.tm_isdst = -1;
  const std::time_t t = std::mktime(&tm);
  if (t == -1) return false;
  out = static_cast<long long>(t) * 1000;
  return true;
}

}  // namespace

HttpReply StatusRoutes::operator()(const std::string& path) const {
  if (path == "/" || path == "/index.html")
    return {200, "text/html; charset=utf-8", site_page_html()};
  if (path == "/status") return {200, "text/html; charset=utf-8", status_page_html()};
  if (path == "/trend-plot.js") return {200, "text/javascript; charset=utf-8", trend_plot_js()};
  if (path == "/api/devices") return {200, json_type, devices_json(report_devices(registry_))};
  if (path == "/metrics") {
    return {200, "text/plain; version=0.0.4; charset=utf-8",
            metrics_text(report_devices(registry_), outputs_(), site_.login.get())};
  }
  return problem(404, "not found; try /, /api/devices, /api/alarms, /api/trend or /metrics");
}

void StatusRoutes::handle(const HttpRequest& r, const Respond& respond) const {
  if (r.method == "POST") {
    if (r.path == "/api/acknowledge") return acknowledge(r, respond);
    return respond(problem(405, "only GET and HEAD here"));
  }
  if (r.path == "/api/acknowledge") return respond(problem(405, "POST a form here"));
  if (r.path == "/api/alarms" && site_.alarms) return alarms(r, respond);
  if (r.path == "/api/session") return respond(session(r));
  if (r.path == "/api/trend" || r.path == "/api/trend.csv")
    return trend(r, respond, r.path == "/api/trend.csv");
  respond((*this)(r.path));
}

HttpReply StatusRoutes::session(const HttpRequest& r) const {
  std::string out = "{\"user\":";
  if (site_.login && !r.user.empty()) {
    append_json_string(out, r.user);
    out += ",\"token\":";
    append_json_string(out, site_.login->form_token(r.user));
    out += ",\"acknowledge\":true";
  } else {
    out += "null,\"acknowledge\":false";
  }
  out += "}\n";
  return {200, json_type, out};
}

void StatusRoutes::alarms(const HttpRequest& r, const Respond& respond) const {
  const auto fields = form_fields(r.query);
  if (!fields) return respond(problem(400, "the query is not name=value pairs"));
  AlarmLogQuery q;
  for (const auto& [name, value] : *fields) {
    long long n = 0;
    if (name == "since" && whole(value, n)) {
      q.since_seq = n;
    } else if (name == "since" && local_time_ms(value, n)) {
      q.since_ms = n;
    } else if (name == "before" && whole(value, n)) {
      q.before_seq = n;
    } else if (name == "device" && whole(value, n) && n <= 4294967295LL) {
      q.device = static_cast<unsigned int>(n);
    } else if (name == "limit" && whole(value, n) && n >= 1 && n <= 1000) {
      q.limit = static_cast<size_t>(n);
    } else {
      return respond(problem(
          400, name + ": expected since (a row number, or a local time such as 2026-12-08 "
                      "17:05:09), before (a row number), device (a number) or limit (1 to 1000)"));
    }
  }
  if (q.since_seq && q.before_seq) return respond(problem(400, "since or before, not both"));
  AlarmRecords* records = site_.alarms;
  const DeviceRegistry& registry = registry_;
  site_.off_io([records, &registry, q, respond] {
    try {
      respond({200, json_type, alarms_json(records->page(q), registry)});
    } catch (const std::exception& e) {
      respond(problem(503, std::string("the alarm log cannot be read: ") + e.what()));
    }
  });
}

void StatusRoutes::acknowledge(const HttpRequest& r, const Respond& respond) const {
  if (!site_.login || !site_.alarms)
    return respond(problem(403, "acknowledging needs a login: basic_auth_users in --web-config"));
  if (!same_site(r, site_.tls)) return respond(problem(403, "a form from another site"));
  const auto fields = form_fields(r.body);
  if (r.content_type.rfind("application/x-www-form-urlencoded", 0) != 0 || !fields)
    return respond(problem(400, "expected a form (application/x-www-form-urlencoded)"));
  const auto token = fields->find("token");
  if (token == fields->end() || !site_.login->form_token_matches(r.user, token->second))
    return respond(problem(403, "the form's token is missing or out of date; load the page again"));
  long long device = -1, seq = 0;
  const auto d = fields->find("device");
  const auto a = fields->find("alarm");
  if (d == fields->end() || !whole(d->second, device) ||
      (a != fields->end() && (!whole(a->second, seq) || seq == 0)))
    return respond(problem(400, "expected device=N and, for one alarm, alarm=SEQ"));
  const DeviceSlot* slot = nullptr;
  for (const auto& s : registry_.slots())
    if (s->config.device_number == device) slot = s.get();
  if (!slot) return respond(problem(404, "no such device"));
  AlarmRecords* records = site_.alarms;
  site_.off_io([records, slot, seq, user = r.user, respond] {
    try {
      const size_t n = records->acknowledge(*slot, seq, user).size();
      respond({200, json_type, "{\"acknowledged\":" + std::to_string(n) + "}\n"});
    } catch (const std::exception& e) {
      respond(problem(503, std::string("the acknowledgement cannot be kept: ") + e.what()));
    }
  });
}

void StatusRoutes::trend(const HttpRequest& request, const Respond& reply, bool csv) const {
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
