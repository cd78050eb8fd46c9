// Text the host reads and shows again: in JSON, on the page, in metric
// labels and on the console, each of which escapes what it must, but none of
// which can carry bytes that are not UTF-8.
#pragma once

#include <cstddef>
#include <string_view>

namespace kplhost {

// The offset of the first byte that does not belong to a well-formed UTF-8
// sequence (no overlong forms, no surrogates, nothing past U+10FFFF), or
// npos when all of the text is UTF-8.
std::size_t first_non_utf8(std::string_view text);

// Well-formed UTF-8 without control characters (C0, DEL, C1): text a person
// gave a name, fit for a tile, a label or a line.
bool is_plain_utf8(std::string_view text);

}  // namespace kplhost
