// The values of a URL's query ("device=7&point=temperature_1_value&range=24h"),
// percent-decoded, '+' read as a space.
#pragma once

#include <optional>
#include <string>

namespace kplhost {

// The value of the first `key=` in the query; nothing when it is absent or
// its escapes are not two hexadecimal digits.
std::optional<std::string> query_value(const std::string& query, const std::string& key);

}  // namespace kplhost
