#include "host/reference/event_log.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "host/reference/device_slot.h"
#include "host/reference/float_bits.h"
#include "host/reference/json_text.h"

namespace kplhost {

EventLog::EventLog(const std::string& path, std::set<std::string> kinds)
    : kinds_(std::move(kinds)), file_(std::fopen(path.c_str(), "w")) {
  if (!file_)
    throw std::runtime_error(path + ": cannot open the event file: " + std::strerror(errno));
}

EventLog::~EventLog() {
  if (file_) std::fclose(file_);
}

std::string EventLog::begin(const char* kind, const DeviceSlot& slot) {
  std::string line = "{\"event\":\"";
  line += kind;
  line += "\",\"device\":";
  line += std::to_string(slot.config.device_number);
  return line;
}

void EventLog::write(std::string& line) {
  line += "}\n";
  std::lock_guard<std::mutex> g(lock_);
  std::fwrite(line.data(), 1, line.size(), file_);
}

void EventLog::flush() {
  std::lock_guard<std::mutex> g(lock_);
  std::fflush(file_);
}

void EventLog::threshold(const DeviceSlot& slot, const std::string& name, const std::string& desc,
                         float value, int number) {
  if (!wants("threshold")) return;
  std::string line = begin("threshold", slot);
  line += ",\"name\":";
  append_json_string(line, name);
  line += ",\"desc\":";
  append_json_string(line, desc);
  line += ",\"bits\":" + std::to_string(bits_of(value)) + ",\"value\":";
  append_json_float(line, value);
  line += ",\"number\":" + std::to_string(number);
  write(line);
}

void EventLog::alarm_point(const DeviceSlot& slot, int one, const std::string& id,
                           const std::string& code, const std::string& desc,
                           const std::string& label, bool flag, unsigned short number) {
  if (!wants("alarm_point")) return;
  std::string line = begin("alarm_point", slot);
  line += ",\"one\":" + std::to_string(one) + ",\"id\":";
  append_json_string(line, id);
  line += ",\"code\":";
  append_json_string(line, code);
  line += ",\"desc\":";
  append_json_string(line, desc);
  line += ",\"label\":";
  append_json_string(line, label);
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
    const rule_value& r = c.record;
    std::string line = begin("alarm", slot);
    line += c.raised ? ",\"state\":\"raised\"" : ",\"state\":\"cleared\"";
    line += ",\"round\":" + std::to_string(summary.round);
    if (r.kind == rule_alarm) {
      line += ",\"id\":";
      append_json_string(line, r.name);
      line += ",\"code\":";
      append_json_string(line, r.code);
      line += ",\"desc\":";
      append_json_string(line, r.desc);
      line += ",\"label\":";
      append_json_string(line, r.label);
    } else {
      line += ",\"name\":";
      append_json_string(line, r.name);
      line += ",\"desc\":";
      append_json_string(line, r.desc);
      line += ",\"value\":";
      append_json_float(line, float_of(r.value_bits));
      if (c.has_min) {
        line += ",\"min\":";
        append_json_double(line, c.min);
      }
      if (c.has_max) {
        line += ",\"max\":";
        append_json_double(line, c.max);
      }
    }
    line += ",\"number\":" + std::to_string(r.number);
    write(line);
  }
  if (!wants("round")) return;
  std::string line = begin("round", slot);
  line += ",\"round\":" + std::to_string(summary.round) +
          ",\"records\":" + std::to_string(summary.records->size()) +
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

}  // namespace kplhost
