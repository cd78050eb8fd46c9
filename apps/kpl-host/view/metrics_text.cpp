#include "apps/kpl-host/view/metrics_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "apps/kpl-host/core/alarm_text.h"
#include "apps/kpl-host/core/point_kinds.h"
#include "apps/kpl-host/view/login.h"

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

// Nine significant digits, but every second and millisecond of a time stamp
// (and of a counter) in fixed notation; a unit's value can be anything a float
// holds, NaN and the infinities included, which the format spells its own way.
void append_number(std::string& out, double v) {
  if (std::isnan(v)) {
    out += "NaN";
    return;
  }
  if (std::isinf(v)) {
    out += v > 0 ? "+Inf" : "-Inf";
    return;
  }
  const double size = std::fabs(v);
  char text[32];  // "%.3f" below 1e15 takes at most 20, "%.9g" at most 16
  const int n = std::snprintf(text, sizeof text, size >= 1e6 && size < 1e15 ? "%.3f" : "%.9g", v);
  if (n > 0) out.append(text, std::min(static_cast<size_t>(n), sizeof text - 1));
}

}  // namespace

std::string metric_number(double v) {
  std::string s;
  append_number(s, v);
  return s;
}

namespace {

// Appends to one buffer, sized up front: a host of a thousand devices
// renders some megabytes on its I/O thread, so no sample builds a string of
// its own.
class Writer {
 public:
  explicit Writer(size_t devices) { out.reserve(4096 + devices * 3072); }
  void family(const char* name, const char* type, const char* help) {
    out.append("# HELP ").append(name).append(" ").append(help).append("\n# TYPE ");
    out.append(name).append(" ").append(type).append("\n");
  }
  // labels, then more (already escaped), between the braces.
  void sample(const std::string& name, const std::string& labels, double value,
              const std::string& more = {}) {
    out.append(name);
    if (!labels.empty() || !more.empty()) {
      out += '{';
      out.append(labels);
      if (!labels.empty() && !more.empty()) out += ',';
      out.append(more);
      out += '}';
    }
    out += ' ';
    append_number(out, value);
    out += '\n';
  }
  std::string out;
};

std::string device_label(const DeviceReport& d) {
  return "device=\"" + std::to_string(d.slot->config.device_number) + "\"";
}

// The device label of every device, made once per rendering.
std::vector<std::string> device_labels(const std::vector<DeviceReport>& devices) {
  std::vector<std::string> out;
  out.reserve(devices.size());
  for (const DeviceReport& d : devices) out.push_back(device_label(d));
  return out;
}

// One family a counter or gauge of every device, from the device's report.
template <class F>
void per_device(Writer& w, const std::vector<DeviceReport>& devices,
                const std::vector<std::string>& labels, const char* name, const char* type,
                const char* help, F value) {
  w.family(name, type, help);
  const std::string n = name;
  for (size_t i = 0; i < devices.size(); ++i) w.sample(n, labels[i], value(devices[i]));
}

}  // namespace

std::string metrics_text(const std::vector<DeviceReport>& devices, const OutputsStatus& outputs,
                         const Login* login) {
  const HistoryState& history = outputs.history;
  const MqttStatus* mqtt = outputs.mqtt ? &*outputs.mqtt : nullptr;
  Writer w(devices.size());
  const std::vector<std::string> labels = device_labels(devices);
  per_device(w, devices, labels, "kpl_device_up", "gauge",
             "1 while the device delivers rounds (online or degraded).", [](const DeviceReport& d) {
               return d.health.state == HealthState::online ||
                      d.health.state == HealthState::degraded;
             });
  w.family("kpl_device_state", "gauge", "The device's health state: 1 for the state it is in.");
  static const std::string state_metric = "kpl_device_state";
  static const std::string state_labels[] = {"state=\"connecting\"", "state=\"online\"",
                                             "state=\"degraded\"", "state=\"offline\"",
                                             "state=\"failed\""};
  for (size_t i = 0; i < devices.size(); ++i)
    for (int s = 0; s < 5; ++s)
      w.sample(state_metric, labels[i], devices[i].health.state == static_cast<HealthState>(s),
               state_labels[s]);
  w.family("kpl_device_info", "gauge",
           "1 for each device, with the name and location it was given.");
  std::string info;
  for (size_t i = 0; i < devices.size(); ++i) {
    const DeviceConfig& c = devices[i].slot->config;
    info.assign("name=\"").append(label(c.name)).append("\",location=\"");
    info.append(label(c.location)).append("\"");
    w.sample("kpl_device_info", labels[i], 1, info);
  }
  per_device(w, devices, labels, "kpl_device_connected", "gauge", "1 while the connection is up.",
             [](const DeviceReport& d) { return d.connected; });
  per_device(w, devices, labels, "kpl_device_rounds_total", "counter",
             "Rounds completed and published.",
             [](const DeviceReport& d) { return d.health.rounds; });
  per_device(w, devices, labels, "kpl_device_pass_restarts_total", "counter",
             "Passes started again before they were complete.",
             [](const DeviceReport& d) { return d.health.passes_restarted; });
  per_device(w, devices, labels, "kpl_device_reconnects_total", "counter",
             "Connections made again after one was lost.",
             [](const DeviceReport& d) { return d.reconnects; });
  per_device(w, devices, labels, "kpl_device_received_bytes_total", "counter", "Bytes received.",
             [](const DeviceReport& d) { return static_cast<double>(d.health.bytes_in); });
  per_device(w, devices, labels, "kpl_device_sent_bytes_total", "counter", "Bytes sent.",
             [](const DeviceReport& d) { return static_cast<double>(d.health.bytes_out); });
  per_device(w, devices, labels, "kpl_device_history_rows_dropped_total", "counter",
             "History rows dropped because the database could not keep up.",
             [](const DeviceReport& d) { return d.history_dropped; });
  per_device(w, devices, labels, "kpl_device_data_age_seconds", "gauge",
             "Seconds since the device's last round (since the host started, before one).",
             [](const DeviceReport& d) { return d.health.data_age_s; });

  w.family("kpl_device_last_round_timestamp_seconds", "gauge",
           "When the device's last round was published, in seconds since the epoch.");
  static const std::string last_round = "kpl_device_last_round_timestamp_seconds";
  for (size_t i = 0; i < devices.size(); ++i)
    if (devices[i].health.has_round)
      w.sample(
          last_round, labels[i],
          std::chrono::duration<double>(devices[i].health.last_round.time_since_epoch()).count());

  w.family("kpl_device_pass_duration_seconds", "histogram",
           "From the request for the first item to the image published.");
  static const std::string bucket = "kpl_device_pass_duration_seconds_bucket",
                           sum = "kpl_device_pass_duration_seconds_sum",
                           count = "kpl_device_pass_duration_seconds_count";
  std::vector<std::string> le;
  for (double b : DeviceHealth::buckets) le.push_back("le=\"" + metric_number(b) + "\"");
  le.push_back("le=\"+Inf\"");
  for (size_t i = 0; i < devices.size(); ++i) {
    const DeviceHealth::Snapshot& h = devices[i].health;
    for (size_t b = 0; b < h.histogram.size(); ++b)
      w.sample(bucket, labels[i], static_cast<double>(h.histogram[b]), le[b]);
    w.sample(sum, labels[i], h.pass_seconds_sum);
    w.sample(count, labels[i], static_cast<double>(h.histogram.back()));
  }

  // Values of a device that is offline are stale: they are not exported,
  // so that they age out of every query instead of passing for current.
  std::string point;
  size_t kind_count = 0;
  const PointKind* kinds = all_point_kinds(kind_count);
  for (const PointKind* k = kinds; k != kinds + kind_count; ++k) {
    w.family(k->metric, "gauge", k->metric_help);
    const std::string metric = k->metric;
    for (size_t i = 0; i < devices.size(); ++i) {
      if (devices[i].stale()) continue;
      for (const PointValue& v : devices[i].view.values) {
        if (&point_kind(v.name) != k) continue;
        point.assign("point=\"").append(label(v.name)).append("\"");
        w.sample(metric, labels[i], static_cast<double>(v.value) * k->metric_scale, point);
      }
    }
  }

  // The limits as configured, so that a rule compares a value with its own
  // limit (kpl_point_temperature_celsius > ignoring(limit) kpl_point_threshold{limit="max"}).
  w.family("kpl_point_threshold", "gauge",
           "A point's configured limit, min or max, in the unit of the point's metric.");
  for (size_t i = 0; i < devices.size(); ++i) {
    for (const auto& [name, limits] : devices[i].slot->config.thresholds) {
      const double scale = point_kind(name).metric_scale;
      point.assign("point=\"").append(label(name)).append("\",limit=");
      if (limits.min)
        w.sample("kpl_point_threshold", labels[i], *limits.min * scale, point + "\"min\"");
      if (limits.max)
        w.sample("kpl_point_threshold", labels[i], *limits.max * scale, point + "\"max\"");
    }
  }

  w.family("kpl_device_alarm_active", "gauge", "1 for each alarm now active on a device.");
  static const std::string active = "kpl_device_alarm_active";
  static const std::string lost =
      std::string("id=\"") + communication_lost_id + "\",code=\"\",label=\"\"";
  std::string alarm;
  for (size_t i = 0; i < devices.size(); ++i) {
    const DeviceReport& d = devices[i];
    if (d.health.state == HealthState::offline) w.sample(active, labels[i], 1, lost);
    if (d.stale()) continue;
    for (const ActiveAlarm& a : d.view.alarms) {
      alarm.assign("id=\"").append(label(a.id)).append("\",code=\"").append(label(a.code));
      alarm.append("\",label=\"").append(label(a.label)).append("\"");
      w.sample(active, labels[i], 1, alarm);
    }
  }

  w.family("kpl_history_rows_queued", "gauge", "History rows waiting for the database.");
  w.sample("kpl_history_rows_queued", {}, static_cast<double>(history.queued));
  w.family("kpl_history_rows_dropped_total", "counter",
           "History rows dropped since the host started.");
  w.sample("kpl_history_rows_dropped_total", {}, static_cast<double>(history.dropped));
  w.family("kpl_history_state", "gauge", "The history database's state: 1 for the one it is in.");
  for (HistoryState::Kind k : {HistoryState::ok, HistoryState::behind, HistoryState::failing})
    w.sample("kpl_history_state", std::string("state=\"") + history_state_name(k) + "\"",
             history.kind == k);
  w.family("kpl_event_lines_lost_total", "counter",
           "Event stream lines the disk did not take since the host started.");
  w.sample("kpl_event_lines_lost_total", {}, static_cast<double>(outputs.event_lines_lost));
  if (login) {
    w.family("kpl_http_login_failures_total", "counter",
             "Requests with a wrong user or password since the host started.");
    w.sample("kpl_http_login_failures_total", {}, static_cast<double>(login->failures()));
  }
  if (!mqtt) return w.out;
  w.family("kpl_mqtt_connected", "gauge", "1 while the broker connection is up.");
  w.sample("kpl_mqtt_connected", {}, mqtt->connected);
  w.family("kpl_mqtt_outbox_messages", "gauge", "Alarm changes the broker has not acknowledged.");
  w.sample("kpl_mqtt_outbox_messages", {}, static_cast<double>(mqtt->outbox));
  w.family("kpl_mqtt_outbox_dropped_total", "counter",
           "Alarm changes dropped from a full outbox since the host started.");
  w.sample("kpl_mqtt_outbox_dropped_total", {}, static_cast<double>(mqtt->dropped));
  w.family("kpl_mqtt_published_total", "counter", "Messages handed to the broker connection.");
  w.sample("kpl_mqtt_published_total", {}, static_cast<double>(mqtt->published));
  w.family("kpl_mqtt_values_dropped_total", "counter",
           "Round values dropped since the host started: the broker link did not take them.");
  w.sample("kpl_mqtt_values_dropped_total", {}, static_cast<double>(mqtt->values_dropped));
  return w.out;
}

}  // namespace kplhost
