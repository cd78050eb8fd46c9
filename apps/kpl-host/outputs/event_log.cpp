#include "apps/kpl-host/outputs/event_log.h"

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string_view>

#include "apps/kpl-host/core/alarm_text.h"
#include "apps/kpl-host/core/device_slot.h"
#include "apps/kpl-host/core/json_text.h"
#include "apps/kpl-host/core/wall_time.h"
#include "host/rule_value.h"

namespace kplhost {

namespace {

// How long lines must go out without a loss before writing counts as
// resumed; until then a disk that takes some lines and not others is one
// trouble, reported once.
constexpr auto resume_after = std::chrono::seconds(10);

}  // namespace

EventLog::EventLog(const std::string& path, ThreadGuard& threads, std::set<std::string> kinds,
                   EventFile::Bounds bounds, Report report)
    : path_(path),
      kinds_(std::move(kinds)),
      report_(std::move(report)),
      file_(path, bounds, threads, report_) {}

EventLog::~EventLog() = default;

std::string EventLog::begin(const char* kind, const DeviceSlot& slot) {
  std::string line = "{\"event\":\"";
  line += kind;
  line += "\",\"device\":";
  line += std::to_string(slot.config.device_number);
  return line;
}

void EventLog::write(std::string& line, bool durable) {
  line += ",\"time\":\"" + iso8601_time() + "\"}\n";
  const int err = file_.append(line);
  std::string complaint;
  long resumed_after = 0;
  {
    std::lock_guard<std::mutex> g(lock_);
    const auto now = std::chrono::steady_clock::now();
    if (err == 0) {
      // A short line may fit where a long one did not: writing counts as
      // resumed only once nothing has been lost for a while.
      if (losing_ && now - last_loss_ >= resume_after) {
        losing_ = false;
        resumed_after = lost_ - lost_before_;
      }
    } else {
      last_loss_ = now;
      if (!losing_) {
        losing_ = true;
        lost_before_ = lost_;
        complaint = std::strerror(err);
      }
      ++lost_;
    }
  }
  if (!complaint.empty()) {
    problem.set("cannot write " + path_ + ": " + complaint + "; event lines are being lost");
    if (report_)
      report_("event stream: cannot write " + path_ + ": " + complaint +
              "; lines are lost until it can");
    return;
  }
  if (resumed_after > 0) {
    problem.clear();
    if (report_)
      report_("event stream: writing to " + path_ + " again; " + std::to_string(resumed_after) +
              " line(s) lost");
  }
  // The line is the kernel's already (a crash of the host cannot lose it);
  // the file's own thread forces it to the disk, so that no caller, the I/O
  // thread least of all, waits for a slow disk.
  if (durable && err == 0) file_.force();
}

void EventLog::threshold(const DeviceSlot& slot, const std::string& name, const std::string& desc,
                         float value, int number) {
  if (!wants("threshold")) return;
  std::string line = begin("threshold", slot);
  line += ",\"name\":";
  append_json_string(line, name);
  line += ",\"desc\":";
  append_json_string(line, desc);
  line += ",\"bits\":" + std::to_string(value_bits_of(value)) + ",\"value\":";
  append_json_float(line, value);
  line += ",\"number\":" + std::to_string(number);
  write(line);
}

void EventLog::alarm_point(const DeviceSlot& slot, int one, const std::string& id,
                           const std::string& code, const std::string& desc,
                           const std::string& label, bool flag, unsigned short number) {
  if (!wants("alarm_point")) return;
  std::string line = begin("alarm_point", slot);
  line += ",\"one\":" + std::to_string(one) + ",";
  append_alarm_fields(line, id, code, desc, label);
  line += flag ? ",\"flag\":true" : ",\"flag\":false";
  line += ",\"number\":" + std::to_string(number);
  write(line);
}

void EventLog::publish(const DeviceSlot& slot, int image_id, const unsigned char* data, int len) {
  if (!wants("publish")) return;
  std::string line = begin("publish", slot);
  line += ",\"image_id\":" + std::to_string(image_id) + ",\"size\":" + std::to_string(len) +
          ",\"image\":\"";
  append_hex(line, data, len);
  line += '"';
  write(line);
}

void EventLog::round(const DeviceSlot& slot, const RoundSummary& summary) {
  for (const AlarmChange& c : summary.changes) {
    if (!wants("alarm")) break;
    std::string line = begin("alarm", slot);
    append_alarm_change(line, c, summary.round);
    write(line, true);
  }
  if (!wants("round")) return;
  std::string line = begin("round", slot);
  line += ",\"round\":" + std::to_string(summary.round) +
          ",\"records\":" + std::to_string(summary.records) +
          ",\"changes\":" + std::to_string(summary.changes.size());
  write(line);
}

void EventLog::link(const DeviceSlot& slot, bool up, const std::string& detail) {
  if (!wants("link")) return;
  std::string line = begin("link", slot);
  line += up ? ",\"state\":\"up\"" : ",\"state\":\"down\"";
  line += ",\"detail\":";
  append_json_string(line, detail);
  write(line);
}

void EventLog::history(const HistoryState& h) {
  if (!wants("history")) return;
  std::string line = "{\"event\":\"history\",\"state\":\"";
  line += history_state_name(h.kind);
  line += "\",\"queued\":" + std::to_string(h.queued) + ",\"dropped\":" + std::to_string(h.dropped);
  if (!h.detail.empty()) {
    line += ",\"detail\":";
    append_json_string(line, h.detail);
  }
  write(line, true);
}

void EventLog::device_failed(const DeviceSlot& slot, const std::string& detail) {
  if (!wants("device")) return;
  std::string line = begin("device", slot);
  line += ",\"state\":\"failed\",\"detail\":";
  append_json_string(line, detail);
  write(line, true);
}

void EventLog::communication(const DeviceSlot& slot, bool lost, const std::string& detail) {
  if (!wants("alarm")) return;
  std::string line = begin("alarm", slot);
  append_communication_change(line, lost, detail);
  write(line, true);
}

void EventLog::acknowledged(const DeviceSlot& slot, const ListedAlarm& a) {
  if (!wants("acknowledged")) return;
  std::string line = begin("acknowledged", slot);
  line += ",\"seq\":" + std::to_string(a.seq) + "," + a.fields + ",\"by\":";
  append_json_string(line, a.ack_by);
  line += ",\"ack_time\":";
  append_json_string(line, a.ack_time);
  write(line, true);
}

void EventLog::mqtt(const std::string& state, const std::string& detail) {
  if (!wants("mqtt")) return;
  std::string line = "{\"event\":\"mqtt\",\"state\":";
  append_json_string(line, state);
  line += ",\"detail\":";
  append_json_string(line, detail);
  write(line, true);
}

void EventLog::device_state(const DeviceSlot& slot, HealthState state) {
  if (!wants("health")) return;
  std::string line = begin("health", slot);
  line += ",\"state\":\"";
  line += health_state_name(state);
  line += '"';
  write(line);
}

void EventLog::unknown_point(const DeviceSlot& slot, const char* key, const std::string& name,
                             const std::string& hint) {
  if (!wants("config")) return;
  const bool threshold = std::string_view(key) == "thresholds";
  std::string line = begin("config", slot);
  line += threshold ? ",\"problem\":\"threshold for a point the device does not have\""
                    : ",\"problem\":\"ao_names entry for a point the device does not have\"";
  line += ",\"key\":\"";
  line += key;
  line += "\",\"name\":";
  append_json_string(line, name);
  if (!hint.empty()) {
    line += ",\"hint\":";
    append_json_string(line, hint);
  }
  write(line, true);
}

}  // namespace kplhost
