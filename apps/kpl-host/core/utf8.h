// Text a person wrote, checked before the host shows it anywhere: the page,
// JSON, metric labels and the console each escape what they must, but none
// of them can carry bytes that are not UTF-8.
#pragma once

#include <string_view>

namespace kplhost {

// Well-formed UTF-8 (no overlong forms, no surrogates, nothing past
// U+10FFFF) without control characters.
bool is_plain_utf8(std::string_view text);

}  // namespace kplhost
