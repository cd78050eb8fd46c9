#include "apps/kpl-host/metrics_text.h"

#include <cstdio>

#include "apps/kpl-host/communication_watch.h"

namespace kplhost {

namespace {

// A label value with backslash, quote and line feed escaped.
std::string label(const std::string& v) {
  std::string out;
  for (char c : v) {
    if (c == '\\' || c == '"') out += '\\';
    out += c == '\n' ? std::string("\\n") : std::string(1, c);
  }
  return out;
}

// Nine significant digits, but every second and millisecond of a time stamp.
std::string number(double v) {
  char text[40];
  std::snprintf(text, sizeof text, v >= 1e6 || v <= -1e6 ? "%.3f" : "%.9g", v);
  return text;
}

class Writer {
 public:
  void family(const char* name, const char* type, const char* help) {
    out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
  }
  void sample(const std::string& name, const std::string& labels, double value) {
    out += name;
    if (!labels.empty()) out += "{" + labels + "}";
    out += " " + number(value) + "\n";
  }
  std::string out;
};

std::string device_label(const DeviceReport& d) {
  return "device=\"" + std::to_string(d.slot->config.device_number) + "\"";
}

// A point's metric, with its unit where the name says what it measures.
struct PointFamily {
  const char* prefix;
  const char* metric;
  double scale;
  const char* help;
};
constexpr PointFamily point_families[] = {
    {"temperature_", "kpl_point_temperature_celsius", 1, "A temperature point."},
    {"humid_", "kpl_point_humidity_ratio", 0.01, "A relative humidity point, 0 to 1."},
    {"battery_", "kpl_point_battery_volts", 1, "A battery voltage point."},
    {"", "kpl_point_value", 1, "Any other analogue point, as the device reports it."},
};

const PointFamily& family_of(const std::string& point) {
  for (const PointFamily& f : point_families)
    if (point.rfind(f.prefix, 0) == 0) return f;
  return point_families[std::size(point_families) - 1];
}

// One family a counter or gauge of every device, from the device's report.
template <class F>
void per_device(Writer& w, const std::vector<DeviceReport>& devices, const char* name,
                const char* type, const char* help, F value) {
  w.family(name, type, help);
  for (const DeviceReport& d : devices) w.sample(name, device_label(d), value(d));
}

}  // namespace

std::string metrics_text(const std::vector<DeviceReport>& devices, const HistoryState& history,
                         long event_lines_lost) {
  Writer w;
  per_device(w, devices, "kpl_device_up", "gauge",
             "1 while the device delivers rounds (online or degraded).", [](const DeviceReport& d) {
               return d.health.state == HealthState::online ||
                      d.health.state == HealthState::degraded;
             });
  w.family("kpl_device_state", "gauge", "The device's health state: 1 for the state it is in.");
  for (const DeviceReport& d : devices)
    for (HealthState s : {HealthState::connecting, HealthState::online, HealthState::degraded,
                          HealthState::offline, HealthState::failed})
      w.sample("kpl_device_state", device_label(d) + ",state=\"" + health_state_name(s) + "\"",
               d.health.state == s);
  per_device(w, devices, "kpl_device_connected", "gauge", "1 while the connection is up.",
             [](const DeviceReport& d) { return d.connected; });
  per_device(w, devices, "kpl_device_rounds_total", "counter", "Rounds completed and published.",
             [](const DeviceReport& d) { return d.health.rounds; });
  per_device(w, devices, "kpl_device_pass_restarts_total", "counter",
             "Passes started again before they were complete.",
             [](const DeviceReport& d) { return d.health.passes_restarted; });
  per_device(w, devices, "kpl_device_reconnects_total", "counter",
             "Connections made again after one was lost.",
             [](const DeviceReport& d) { return d.reconnects; });
  per_device(w, devices, "kpl_device_received_bytes_total", "counter", "Bytes received.",
             [](const DeviceReport& d) { return static_cast<double>(d.health.bytes_in); });
  per_device(w, devices, "kpl_device_sent_bytes_total", "counter", "Bytes sent.",
             [](const DeviceReport& d) { return static_cast<double>(d.health.bytes_out); });
  per_device(w, devices, "kpl_device_history_rows_dropped_total", "counter",
             "History rows dropped because the database could not keep up.",
             [](const DeviceReport& d) { return d.history_dropped; });
  per_device(w, devices, "kpl_device_data_age_seconds", "gauge",
             "Seconds since the device's last round (since the host started, before one).",
             [](const DeviceReport& d) { return d.health.data_age_s; });

  w.family("kpl_device_last_round_timestamp_seconds", "gauge",
           "When the device's last round was published, in seconds since the epoch.");
  for (const DeviceReport& d : devices)
    if (d.health.has_round)
      w.sample("kpl_device_last_round_timestamp_seconds", device_label(d),
               std::chrono::duration<double>(d.health.last_round.time_since_epoch()).count());

  w.family("kpl_device_pass_duration_seconds", "histogram",
           "From the request for the first item to the image published.");
  for (const DeviceReport& d : devices) {
    for (size_t b = 0; b < d.health.histogram.size(); ++b) {
      const std::string le =
          b < DeviceHealth::buckets.size() ? number(DeviceHealth::buckets[b]) : "+Inf";
      w.sample("kpl_device_pass_duration_seconds_bucket", device_label(d) + ",le=\"" + le + "\"",
               static_cast<double>(d.health.histogram[b]));
    }
    w.sample("kpl_device_pass_duration_seconds_sum", device_label(d), d.health.pass_seconds_sum);
    w.sample("kpl_device_pass_duration_seconds_count", device_label(d),
             static_cast<double>(d.health.histogram.back()));
  }

  // Values of a device that is offline are stale: they are not exported,
  // so that they age out of every query instead of passing for current.
  for (const PointFamily& f : point_families) {
    w.family(f.metric, "gauge", f.help);
    for (const DeviceReport& d : devices) {
      if (d.stale()) continue;
      for (const PointValue& v : d.view.values)
        if (&family_of(v.name) == &f)
          w.sample(f.metric, device_label(d) + ",point=\"" + label(v.name) + "\"",
                   static_cast<double>(v.value) * f.scale);
    }
  }

  w.family("kpl_device_alarm_active", "gauge", "1 for each alarm now active on a device.");
  for (const DeviceReport& d : devices) {
    if (d.health.state == HealthState::offline)
      w.sample("kpl_device_alarm_active",
               device_label(d) + ",id=\"" + communication_lost_id + "\",code=\"\",label=\"\"", 1);
    if (d.stale()) continue;
    for (const ActiveAlarm& a : d.view.alarms)
      w.sample("kpl_device_alarm_active",
               device_label(d) + ",id=\"" + label(a.id) + "\",code=\"" + label(a.code) +
                   "\",label=\"" + label(a.label) + "\"",
               1);
  }

  w.family("kpl_history_rows_queued", "gauge", "History rows waiting for the database.");
  w.sample("kpl_history_rows_queued", "", static_cast<double>(history.queued));
  w.family("kpl_history_rows_dropped_total", "counter",
           "History rows dropped since the host started.");
  w.sample("kpl_history_rows_dropped_total", "", static_cast<double>(history.dropped));
  w.family("kpl_history_state", "gauge", "The history database's state: 1 for the one it is in.");
  for (HistoryState::Kind k : {HistoryState::ok, HistoryState::behind, HistoryState::failing})
    w.sample("kpl_history_state", std::string("state=\"") + history_state_name(k) + "\"",
             history.kind == k);
  w.family("kpl_event_lines_lost_total", "counter",
           "Event stream lines the disk did not take since the host started.");
  w.sample("kpl_event_lines_lost_total", "", static_cast<double>(event_lines_lost));
  return w.out;
}

}  // namespace kplhost
