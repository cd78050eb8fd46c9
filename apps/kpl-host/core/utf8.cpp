#include "apps/kpl-host/core/utf8.h"

namespace kplhost {

bool is_plain_utf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      if (c < 0x20 || c == 0x7f) return false;
      ++i;
      continue;
    }
    // The sequence's length and the range its first continuation byte may
    // take, which rules out overlong forms, surrogates and code points past
    // U+10FFFF (RFC 3629, table 3-7 of the Unicode standard).
    size_t n = 0;
    unsigned char lo = 0x80, hi = 0xbf;
    if (c >= 0xc2 && c <= 0xdf) {
      n = 2;
    } else if (c >= 0xe0 && c <= 0xef) {
      n = 3;
      if (c == 0xe0) lo = 0xa0;
      if (c == 0xed) hi = 0x9f;
    } else if (c >= 0xf0 && c <= 0xf4) {
      n = 4;
      if (c == 0xf0) lo = 0x90;
      if (c == 0xf4) hi = 0x8f;
    } else {
      return false;
    }
    if (i + n > text.size()) return false;
    for (size_t k = 1; k < n; ++k) {
      const auto b = static_cast<unsigned char>(text[i + k]);
      if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xbf)) return false;
    }
    // C1 control characters, U+0080 to U+009F.
    if (c == 0xc2 && static_cast<unsigned char>(text[i + 1]) < 0xa0) return false;
    i += n;
  }
  return true;
}

}  // namespace kplhost
