#include "apps/kpl-host/view/devices_json.h"

#include "apps/kpl-host/core/alarm_text.h"
#include "apps/kpl-host/core/endpoint_text.h"
#include "apps/kpl-host/core/json_text.h"
#include "apps/kpl-host/core/point_kinds.h"

namespace kplhost {

namespace {

void field(std::string& out, const char* name) {
  if (out.back() != '{') out += ',';
  out += '"';
  out += name;
  out += "\":";
}

void text_field(std::string& out, const char* name, const std::string& value) {
  field(out, name);
  append_json_string(out, value);
}

void number_field(std::string& out, const char* name, double value) {
  field(out, name);
  append_json_double(out, value);
}

// An alarm, with what the alarm list has of it: when it was raised and, for
// an acknowledgement, its row in the alarm log and who acknowledged it when.
void alarm_object(std::string& out, const std::string& id, const std::string& code,
                  const std::string& desc, const std::string& label, const ListedAlarm* listed) {
  out += '{';
  text_field(out, "id", id);
  text_field(out, "code", code);
  text_field(out, "desc", desc);
  text_field(out, "label", label);
  if (listed) {
    number_field(out, "seq", static_cast<double>(listed->seq));
    text_field(out, "since", listed->raised_time);
    if (!listed->active) text_field(out, "cleared", listed->cleared_time);
    field(out, "acknowledged");
    out += listed->acknowledged() ? "true" : "false";
    if (listed->acknowledged()) {
      text_field(out, "by", listed->ack_by);
      text_field(out, "ack_time", listed->ack_time);
    }
  }
  out += '}';
}

const ListedAlarm* active_listed(const DeviceReport& d, const std::string& key) {
  for (const ListedAlarm& a : d.listed)
    if (a.active && a.key == key) return &a;
  return nullptr;
}

void device_object(std::string& out, const DeviceReport& d) {
  const DeviceConfig& c = d.slot->config;
  const DeviceHealth::Snapshot& h = d.health;
  out += '{';
  number_field(out, "device", c.device_number);
  append_device_names(out, c.name, c.location);
  number_field(out, "data_id", c.data_id);
  text_field(out, "endpoint", endpoint_text(c.ip, c.port));
  text_field(out, "state", health_state_name(h.state));
  field(out, "connected");
  out += d.connected ? "true" : "false";
  number_field(out, "rounds", static_cast<double>(h.rounds));
  field(out, "last_round");
  if (h.has_round)
    append_json_string(out, local_time_text(h.last_round));
  else
    out += "null";
  number_field(out, "data_age_s", h.data_age_s);
  field(out, "stale");
  out += d.stale() ? "true" : "false";
  number_field(out, "pass_last_s", h.last_pass_s);
  number_field(out, "pass_p50_s", h.p50_pass_s);
  number_field(out, "pass_p99_s", h.p99_pass_s);
  number_field(out, "passes_restarted", static_cast<double>(h.passes_restarted));
  number_field(out, "reconnects", static_cast<double>(d.reconnects));
  number_field(out, "bytes_in", static_cast<double>(h.bytes_in));
  number_field(out, "bytes_out", static_cast<double>(h.bytes_out));
  number_field(out, "history_rows_dropped", static_cast<double>(d.history_dropped));
  text_field(out, "last_error", d.last_error);

  field(out, "alarms");
  out += '[';
  bool first = true;
  if (d.health.state == HealthState::offline) {
    alarm_object(out, communication_lost_id, "", "communication lost", "",
                 active_listed(d, communication_lost_id));
    first = false;
  }
  for (const ActiveAlarm& a : d.view.alarms) {
    if (!first) out += ',';
    first = false;
    alarm_object(out, a.id, a.code, a.desc, a.label, active_listed(d, a.key));
  }
  out += ']';

  // Cleared, and listed until someone acknowledges them.
  field(out, "cleared_alarms");
  out += '[';
  first = true;
  for (const ListedAlarm& a : d.listed) {
    if (a.active) continue;
    if (!first) out += ',';
    first = false;
    alarm_object(out, a.id, a.code, a.desc, a.label, &a);
  }
  out += ']';

  field(out, "values");
  out += '[';
  for (size_t i = 0; i < d.view.values.size(); ++i) {
    const PointValue& v = d.view.values[i];
    out += i ? ",{" : "{";
    text_field(out, "name", v.name);
    text_field(out, "desc", v.desc);
    field(out, "value");
    append_json_float(out, v.value);
    // How a person reads it, as the console shows it: the page writes
    // `value` with `decimals` and `unit`.
    const PointKind& kind = point_kind(v.name);
    text_field(out, "unit", kind.unit[0] == ' ' ? kind.unit + 1 : kind.unit);
    number_field(out, "decimals", kind.decimals);
    field(out, "in_alarm");
    out += v.in_alarm ? "true" : "false";
    out += '}';
  }
  out += "]}";
}

}  // namespace

std::string devices_json(const std::vector<DeviceReport>& devices) {
  std::string out = "[";
  for (size_t i = 0; i < devices.size(); ++i) {
    if (i) out += ',';
    device_object(out, devices[i]);
  }
  out += "]\n";
  return out;
}

}  // namespace kplhost
