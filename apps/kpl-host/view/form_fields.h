// The fields of a query string or a form (application/x-www-form-urlencoded):
// name=value pairs joined by &, with + for a blank and %XX for a byte.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace kplhost {

// Empty when the text is not well formed (a bad %XX, or a name given twice).
std::optional<std::map<std::string, std::string>> form_fields(const std::string& text);

// The value of the first `key=` in the text, whatever the other pairs hold;
// nothing when it is absent or its own escapes are bad.
std::optional<std::string> query_value(const std::string& text, const std::string& key);

}  // namespace kplhost
