// Which known name a misspelt one was probably meant to be, for messages
// that suggest a correction.
#pragma once

#include <string_view>

namespace kplhost {

// The name in [first, last) nearest to `name`, counting an insertion, a
// deletion, a substitution or a swap of neighbouring characters as one edit
// and ignoring case. Only names at most 1 edit away count (2 once `name` has
// 5 or more characters); on a tie the earlier name wins. Empty when none is
// that close.
std::string_view close_match(std::string_view name, const std::string_view* first,
                             const std::string_view* last);

}  // namespace kplhost
