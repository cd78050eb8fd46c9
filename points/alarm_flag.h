// The integer an alarm item stands for: its float value truncated toward
// zero. Written so that every float has a defined result: NaN is 0, and
// values beyond the 32-bit range give the nearest bound.
#pragma once

#include <cmath>
#include <cstdint>

inline std::int32_t truncate_to_int32(float v) {
  if (std::isnan(v)) return 0;
  // 2^31 is exactly representable; every float below it truncates into range.
  if (v >= 2147483648.0f) return INT32_MAX;
  if (v <= -2147483648.0f) return INT32_MIN;
  return static_cast<std::int32_t>(v);
}

inline bool alarm_flag(float item, int alarm_value) {
  return truncate_to_int32(item) == alarm_value;
}
