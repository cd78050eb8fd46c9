#include "apps/kpl-host/outputs/console.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <string_view>

#include "apps/kpl-host/core/device_slot.h"
#include "apps/kpl-host/core/point_kinds.h"
#include "host/rule_value.h"

namespace kplhost {

namespace {

// "kpl-host: device 7", and the name and place it was given: "(UPS A, room 2)".
std::string prefix(const DeviceSlot& slot) {
  const DeviceConfig& c = slot.config;
  std::string p = "kpl-host: device " + std::to_string(c.device_number);
  if (c.name.empty() && c.location.empty()) return p;
  return p + " (" + c.name + (c.name.empty() || c.location.empty() ? "" : ", ") + c.location + ")";
}

// An alarm as a person reads it: "Number_1_UPS_Alarm_ QLT_0 02401 市电输入告警".
std::string alarm_words(const std::string& label, const std::string& id, const std::string& code,
                        const std::string& desc) {
  return (label.empty() ? "" : label + " ") + id + (code.empty() ? "" : " " + code) + " " + desc;
}

}  // namespace

std::string analogue_summary(const std::vector<PointValue>& values) {
  // Families in the order they first appear, each with its values in order
  // and its unit once at the end.
  struct Family {
    std::string name;
    std::string text;
    const char* unit;
  };
  std::vector<Family> families;
  for (const PointValue& v : values) {
    const std::string f = point_family(v.name);
    auto it = std::find_if(families.begin(), families.end(),
                           [&](const Family& p) { return p.name == f; });
    if (it == families.end())
      it = families.insert(families.end(), {f, "", point_kind(v.name).unit});
    char value[48];
    std::snprintf(value, sizeof value, " %.*f%s", point_kind(v.name).decimals,
                  static_cast<double>(v.value), v.in_alarm ? "(!)" : "");
    it->text += value;
  }
  std::string out;
  for (const Family& f : families) {
    if (!out.empty()) out += " | ";
    out += f.name + f.text + f.unit;
  }
  return out;
}

std::string alarm_text(const rule_value& r) {
  if (r.kind == rule_analogue) {
    char value[32];
    std::snprintf(value, sizeof value, "%g", static_cast<double>(value_of_bits(r.value_bits)));
    return r.name + " " + r.desc + " = " + value;
  }
  return r.label + " " + r.name + " " + r.code + " " + r.desc;
}

void Console::round(const DeviceSlot& slot, const RoundSummary& s) {
  if (quiet_) return;
  const DeviceView::Snapshot view = slot.view.snapshot();
  std::string text =
      prefix(slot) + " round " + std::to_string(s.round) + " | " + analogue_summary(view.values);
  std::string active;
  for (const ActiveAlarm& a : view.alarms)
    active += "\n    " + alarm_words(a.label, a.id, a.code, a.desc);
  text += active.empty() ? "\n  active alarms: none" : "\n  active alarms:" + active;
  for (const AlarmChange& c : s.changes)
    text += (c.raised ? "\n  RAISED  " : "\n  CLEARED ") + alarm_text(c.record);
  print(text);
}

void Console::link(const DeviceSlot& slot, bool up, const std::string& detail) {
  if (quiet_) return;
  print(prefix(slot) + (up ? " connected " : " disconnected: ") + detail);
}

std::string history_text(const HistoryState& h) {
  std::string text = std::string(history_state_name(h.kind)) + ", " + std::to_string(h.queued) +
                     " rows waiting, " + std::to_string(h.dropped) + " dropped";
  if (!h.detail.empty()) text += ": " + h.detail;
  return text;
}

// Said whatever the quiet option: these are troubles an operator must see.
std::string outputs_text(const OutputsStatus& o) {
  std::string text = "history: " + history_text(o.history);
  if (o.has_event_stream)
    text += "; event stream: " + std::to_string(o.event_lines_lost) +
            " lines lost, last error: " + o.event_problem;
  if (o.mqtt)
    text += std::string("; mqtt: ") + (o.mqtt->connected ? "connected" : "not connected") + ", " +
            std::to_string(o.mqtt->outbox) + " alarm changes waiting, " +
            std::to_string(o.mqtt->dropped) + " dropped";
  return text;
}

void Console::history(const HistoryState& h) { say("history: " + history_text(h)); }

void Console::device_failed(const DeviceSlot& slot, const std::string& detail) {
  print(prefix(slot) + " stopped: " + detail + "; the other devices go on");
}

void Console::unknown_point(const DeviceSlot& slot, const char* key, const std::string& name,
                            const std::string& hint) {
  const bool threshold = std::string_view(key) == "thresholds";
  print(prefix(slot) + " has no point named " + name +
        (threshold ? " for its threshold" : " to re-check (ao_names)") +
        (hint.empty() ? "" : "; did you mean " + hint + "?"));
}

void Console::communication(const DeviceSlot& slot, bool lost, const std::string& detail) {
  print(prefix(slot) + (lost ? " RAISED  communication lost: " : " CLEARED communication lost: ") +
        detail);
}

void Console::acknowledged(const DeviceSlot& slot, const ListedAlarm& a) {
  print(prefix(slot) + " ACKED   " + alarm_words(a.label, a.id, a.code, a.desc) + " by " +
        a.ack_by);
}

void Console::mqtt(const std::string&, const std::string& detail) { say("mqtt: " + detail); }

std::string Console::status_text(const DeviceSlot& slot) {
  const DeviceHealth::Snapshot h = slot.health.snapshot(slot.failed);
  const char* link = slot.failed ? "stopped" : slot.connected ? "connected" : "not connected";
  char age[64] = "";
  if (h.state == HealthState::offline)
    std::snprintf(age, sizeof age, " (no round for %.0f s, values stale)", h.data_age_s);
  else if (h.state == HealthState::degraded && h.lines_suppressed > 0)
    std::snprintf(age, sizeof age, " (the unit floods: %ld lines suppressed)", h.lines_suppressed);
  return prefix(slot) + " status: " + health_state_name(h.state) + age + ", " + link + ", " +
         std::to_string(slot.published.load()) + " rounds, " +
         std::to_string(slot.reconnects.load()) + " reconnects, " +
         std::to_string(slot.history_dropped.load()) +
         " history rows dropped, last error: " + slot.problem.text();
}

void Console::say(const std::string& text) { print("kpl-host: " + text); }

void Console::send_to(std::function<void(const std::string&)> sink) {
  std::lock_guard<std::mutex> g(lock_);
  sink_ = std::move(sink);
}

void Console::print(const std::string& text) {
  std::lock_guard<std::mutex> g(lock_);
  if (sink_) return sink_(text);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace kplhost
