// Small pieces of JSON text for the event stream, written by hand so that
// a line is built in one buffer without a document tree.
#pragma once

#include <string>

namespace kplhost {

// Appends s as a JSON string, quotes included. UTF-8 passes through as it is.
void append_json_string(std::string& out, const std::string& s);
// Appends the shortest text that reads back as the same float, or null for
// a value that is not finite (JSON has no NaN or infinity).
void append_json_float(std::string& out, float v);
void append_json_double(std::string& out, double v);
// Appends an alarm point's "id":..,"code":..,"desc":..,"label":.. fields.
void append_alarm_fields(std::string& out, const std::string& id, const std::string& code,
                         const std::string& desc, const std::string& label);
// Appends bytes as lower-case hex digits, two per byte.
void append_hex(std::string& out, const unsigned char* data, int len);

}  // namespace kplhost
