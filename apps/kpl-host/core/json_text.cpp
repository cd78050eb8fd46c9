#include "apps/kpl-host/core/json_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace kplhost {

void append_alarm_fields(std::string& out, const std::string& id, const std::string& code,
                         const std::string& desc, const std::string& label) {
  out += "\"id\":";
  append_json_string(out, id);
  out += ",\"code\":";
  append_json_string(out, code);
  out += ",\"desc\":";
  append_json_string(out, desc);
  out += ",\"label\":";
  append_json_string(out, label);
}

void append_json_string(std::string& out, const std::string& s) {
  out += '"';
  for (unsigned char c : s) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char esc[8];
          std::snprintf(esc, sizeof esc, "\\u%04x", c);
          out += esc;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
}

template <class T>
static void append_number(std::string& out, T v) {
  if (!std::isfinite(v)) {
    out += "null";
    return;
  }
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

void append_json_float(std::string& out, float v) { append_number(out, v); }
void append_json_double(std::string& out, double v) { append_number(out, v); }

void append_hex(std::string& out, const unsigned char* data, int len) {
  static const char digits[] = "0123456789abcdef";
  out.reserve(out.size() + 2 * static_cast<size_t>(len));
  for (int i = 0; i < len; ++i) {
    out += digits[data[i] >> 4];
    out += digits[data[i] & 15];
  }
}

}  // namespace kplhost
