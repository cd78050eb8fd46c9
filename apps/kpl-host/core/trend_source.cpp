#include "apps/kpl-host/core/trend_source.h"

namespace kplhost {

std::optional<TrendRange> trend_range(const std::string& name) {
  for (const TrendRange& r : trend_ranges)
    if (name == r.name) return r;
  return std::nullopt;
}

}  // namespace kplhost
