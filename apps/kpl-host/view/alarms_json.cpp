#include "apps/kpl-host/view/alarms_json.h"

#include "apps/kpl-host/core/json_text.h"
#include "apps/kpl-host/core/wall_time.h"

namespace kplhost {

std::string alarms_json(const AlarmLogPage& page, const DeviceRegistry& registry) {
  std::string out = "{\"alarms\":[";
  for (size_t i = 0; i < page.entries.size(); ++i) {
    const AlarmLogEntry& e = page.entries[i];
    out += i ? ",{" : "{";
    // When the change was logged, written as event lines write it, and as
    // a person reads it in the site's log.
    out += "\"seq\":" + std::to_string(e.seq) + ",\"time\":";
    append_json_string(
        out,
        iso8601_time(std::chrono::system_clock::time_point(std::chrono::milliseconds(e.unix_ms))));
    out += ",\"local_time\":";
    append_json_string(out, e.local_time);
    out += ",\"unix_ms\":" + std::to_string(e.unix_ms) +
           ",\"device\":" + std::to_string(e.device_number);
    for (const auto& s : registry.slots())
      if (s->config.device_number == e.device_number)
        append_device_names(out, s->config.name, s->config.location);
    out += e.raised ? ",\"state\":\"raised\"" : ",\"state\":\"cleared\"";
    if (!e.fields.empty()) out += "," + e.fields;
    if (e.raised_seq) out += ",\"raised_seq\":" + std::to_string(e.raised_seq);
    if (e.duration_s) {
      out += ",\"duration_s\":";
      append_json_double(out, *e.duration_s);
    }
    if (!e.ack_by.empty()) {
      out += ",\"by\":";
      append_json_string(out, e.ack_by);
      out += ",\"ack_time\":";
      append_json_string(out, e.ack_time);
    }
    out += '}';
  }
  out += page.more ? "],\"more\":true}\n" : "],\"more\":false}\n";
  return out;
}

}  // namespace kplhost
