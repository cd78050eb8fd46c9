// The wall-clock time, as the host stamps what a person reads (history
// images, trend buckets). Injected, so that a test steps it by hand and
// drives a year of rounds without waiting for one.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace kplhost {

using WallClock = std::function<std::chrono::system_clock::time_point()>;

inline WallClock system_wall_clock() {
  return [] { return std::chrono::system_clock::now(); };
}

inline std::int64_t unix_seconds(std::chrono::system_clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch()).count();
}

}  // namespace kplhost
