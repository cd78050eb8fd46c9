// The user and password of an HTTP basic Authorization header (RFC 7617):
// "Basic " and base64 of "user:password".
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace kplhost {

// Empty when the header is not basic credentials in strict base64.
std::optional<std::pair<std::string, std::string>> basic_credentials(const std::string& header);

}  // namespace kplhost
