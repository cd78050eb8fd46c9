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

// How long from t to the next whole multiple of `every` on the clock (the
// ten-minute marks, say): writers that wait for the same marks write
// together.
inline std::chrono::milliseconds until_mark(std::chrono::system_clock::time_point t,
                                            std::chrono::seconds every) {
  const long long period = std::chrono::milliseconds(every).count();
  const long long now =
      std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
  return std::chrono::milliseconds(period - (now % period + period) % period);
}

}  // namespace kplhost
