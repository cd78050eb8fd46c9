#include "apps/kpl-host/view/basic_credentials.h"

#include <strings.h>

namespace kplhost {

namespace {

int sextet(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

std::optional<std::string> base64(const std::string& in) {
  if (in.empty() || in.size() % 4 != 0) return std::nullopt;
  std::string out;
  for (size_t i = 0; i < in.size(); i += 4) {
    int v[4];
    int pad = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = in[i + k];
      // Padding only at the end, at most two.
      if (c == '=' && i + 4 == in.size() && k >= 2) {
        v[k] = 0;
        ++pad;
        continue;
      }
      if (pad > 0 || (v[k] = sextet(c)) < 0) return std::nullopt;
    }
    const unsigned bits = static_cast<unsigned>(v[0] << 18 | v[1] << 12 | v[2] << 6 | v[3]);
    out += static_cast<char>(bits >> 16);
    if (pad < 2) out += static_cast<char>(bits >> 8 & 0xff);
    if (pad < 1) out += static_cast<char>(bits & 0xff);
  }
  return out;
}

}  // namespace

std::optional<std::pair<std::string, std::string>> basic_credentials(const std::string& header) {
  if (header.size() < 6 || strncasecmp(header.c_str(), "Basic ", 6) != 0) return std::nullopt;
  const size_t start = header.find_first_not_of(' ', 6);
  if (start == std::string::npos) return std::nullopt;
  const std::optional<std::string> pair = base64(header.substr(start));
  if (!pair) return std::nullopt;
  const size_t colon = pair->find(':');
  if (colon == std::string::npos) return std::nullopt;
  return std::make_pair(pair->substr(0, colon), pair->substr(colon + 1));
}

}  // namespace kplhost
