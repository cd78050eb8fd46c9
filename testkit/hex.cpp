#include "testkit/hex.h"

#include <cctype>
#include <stdexcept>

Bytes hex(const std::string& text) {
  Bytes out;
  int high = -1;
  for (char c : text) {
    if (std::isspace(static_cast<unsigned char>(c))) continue;
    if (!std::isxdigit(static_cast<unsigned char>(c)))
      throw std::invalid_argument("not hex: " + text);
    const int v =
        std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(c) - 'a' + 10;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<unsigned char>(high * 16 + v));
      high = -1;
    }
  }
  if (high >= 0) throw std::invalid_argument("odd number of hex digits: " + text);
  return out;
}

std::string to_hex(const unsigned char* data, size_t len) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < len; ++i) {
    if (i) s += ' ';
    s += digits[data[i] >> 4];
    s += digits[data[i] & 15];
  }
  return s;
}
