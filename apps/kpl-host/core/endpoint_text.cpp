#include "apps/kpl-host/core/endpoint_text.h"

#include <cctype>

namespace kplhost {

std::string endpoint_text(const std::string& host, unsigned int port) {
  const bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

bool is_host_name(const std::string& text) {
  if (text.empty() || text.size() > 253) return false;
  size_t label = 0;
  char previous = '.';
  for (const char c : text) {
    if (c == '.') {
      if (label == 0 || previous == '-') return false;
      label = 0;
    } else {
      const bool hyphen = c == '-';
      if (!hyphen && !std::isalnum(static_cast<unsigned char>(c))) return false;
      if (hyphen && label == 0) return false;
      if (++label > 63) return false;
    }
    previous = c;
  }
  // A trailing dot names the root; a label may not end in a hyphen.
  return previous != '-';
}

}  // namespace kplhost
