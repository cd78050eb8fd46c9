#include "apps/kpl-host/core/event_kinds.h"

#include <sstream>

namespace kplhost {

std::set<std::string> default_event_kinds() {
  return {std::begin(operator_event_kinds), std::end(operator_event_kinds)};
}

void add_trace_kinds(std::set<std::string>& kinds) {
  kinds.insert(std::begin(trace_event_kinds), std::end(trace_event_kinds));
}

std::set<std::string> every_event_kind() {
  std::set<std::string> kinds = default_event_kinds();
  add_trace_kinds(kinds);
  return kinds;
}

std::string add_event_kinds(const std::string& list, std::set<std::string>& kinds) {
  const std::set<std::string> known = every_event_kind();
  std::istringstream in(list);
  for (std::string k; std::getline(in, k, ',');) {
    if (known.count(k) == 0) {
      std::string all;
      for (std::string_view name : trace_event_kinds) all += std::string(name) + ", ";
      for (std::string_view name : operator_event_kinds) all += std::string(name) + ", ";
      all.resize(all.size() - 2);
      return "unknown event kind \"" + k + "\" (" + all + ")";
    }
    kinds.insert(k);
  }
  return {};
}

}  // namespace kplhost
