#include "apps/kpl-host/view/form_fields.h"

#include <cctype>

namespace kplhost {

namespace {

std::optional<std::string> decoded(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '+') {
      out += ' ';
    } else if (s[i] != '%') {
      out += s[i];
    } else {
      if (i + 2 >= s.size() || !std::isxdigit(static_cast<unsigned char>(s[i + 1])) ||
          !std::isxdigit(static_cast<unsigned char>(s[i + 2])))
        return std::nullopt;
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    }
  }
  return out;
}

}  // namespace

std::optional<std::map<std::string, std::string>> form_fields(const std::string& text) {
  std::map<std::string, std::string> fields;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('&', start);
    if (end == std::string::npos) end = text.size();
    const std::string pair = text.substr(start, end - start);
    start = end + 1;
    if (pair.empty()) continue;
    const size_t eq = pair.find('=');
    const auto name = decoded(pair.substr(0, eq));
    const auto value = decoded(eq == std::string::npos ? "" : pair.substr(eq + 1));
    if (!name || !value || !fields.emplace(*name, *value).second) return std::nullopt;
  }
  return fields;
}

std::optional<std::string> query_value(const std::string& text, const std::string& key) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('&', start);
    if (end == std::string::npos) end = text.size();
    const std::string pair = text.substr(start, end - start);
    start = end + 1;
    const size_t eq = pair.find('=');
    if (pair.substr(0, eq) == key)
      return decoded(eq == std::string::npos ? "" : pair.substr(eq + 1));
  }
  return std::nullopt;
}

}  // namespace kplhost
