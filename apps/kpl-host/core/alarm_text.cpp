#include "apps/kpl-host/core/alarm_text.h"

#include "apps/kpl-host/core/json_text.h"
#include "host/rule_value.h"

namespace kplhost {

namespace {

void field(std::string& out, const char* name, const std::string& text) {
  out += ",\"";
  out += name;
  out += "\":";
  append_json_string(out, text);
}

}  // namespace

void append_alarm_change(std::string& out, const AlarmChange& c, long round) {
  const rule_value& r = c.record;
  out += c.raised ? ",\"state\":\"raised\"" : ",\"state\":\"cleared\"";
  out += ",\"round\":" + std::to_string(round);
  if (r.kind == rule_alarm) {
    field(out, "id", r.name);
    field(out, "code", r.code);
    field(out, "desc", r.desc);
    field(out, "label", r.label);
  } else {
    field(out, "name", r.name);
    field(out, "desc", r.desc);
    out += ",\"value\":";
    append_json_float(out, value_of_bits(r.value_bits));
    if (c.has_min) {
      out += ",\"min\":";
      append_json_double(out, c.min);
    }
    if (c.has_max) {
      out += ",\"max\":";
      append_json_double(out, c.max);
    }
  }
  out += ",\"number\":" + std::to_string(r.number);
}

void append_communication_change(std::string& out, bool lost, const std::string& detail) {
  out += lost ? ",\"state\":\"raised\"" : ",\"state\":\"cleared\"";
  field(out, "id", communication_lost_id);
  field(out, "desc", detail);
}

}  // namespace kplhost
