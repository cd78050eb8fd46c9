// Where text stops being UTF-8: the offset of the first byte that does not
// belong to a well-formed sequence (no overlong forms, no surrogates, nothing
// past U+10FFFF), or npos when all of it is. Text the host reads goes out again
// in JSON and on the page, which must stay valid.
#pragma once

#include <string_view>

namespace kplhost {

size_t first_non_utf8(std::string_view text);

}  // namespace kplhost
