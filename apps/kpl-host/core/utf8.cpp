#include "apps/kpl-host/core/utf8.h"

namespace kplhost {

std::size_t first_non_utf8(std::string_view text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned char c = s[i];
    std::size_t more = 0;
    // The bounds of the second byte, narrower than 80..BF after E0, ED, F0
    // and F4, which is where overlong forms, surrogates and code points past
    // U+10FFFF would start (RFC 3629).
    unsigned char lo = 0x80, hi = 0xBF;
    if (c < 0x80) {
      ++i;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      more = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      more = 2;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      more = 3;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      return i;
    }
    for (std::size_t k = 1; k <= more; ++k) {
      if (i + k >= n) return i;
      const unsigned char b = s[i + k];
      if (k == 1 ? (b < lo || b > hi) : (b < 0x80 || b > 0xBF)) return i;
    }
    i += more + 1;
  }
  return std::string_view::npos;
}

bool is_plain_utf8(std::string_view text) {
  if (first_non_utf8(text) != std::string_view::npos) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7f) return false;
    // U+0080 to U+009F, the C1 controls: C2 80 to C2 9F.
    if (c == 0xc2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xa0)
      return false;
  }
  return true;
}

}  // namespace kplhost
