// How the host writes a unit's or a broker's endpoint wherever a person or a
// program reads it: "192.0.2.10:502", "unit-7.site:502", and an IPv6 address
// in brackets, "[::1]:15091", so that the port stays apart from the address.
#pragma once

#include <string>

namespace kplhost {

std::string endpoint_text(const std::string& host, unsigned int port);

// Whether text is a host name a resolver may be asked for: dot-separated
// labels of letters, digits and hyphens (no hyphen at either end), each of
// 1 to 63 characters, 253 in all.
bool is_host_name(const std::string& text);

}  // namespace kplhost
