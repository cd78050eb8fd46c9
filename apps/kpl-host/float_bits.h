// Rule records carry analogue values as their IEEE-754 bit patterns.
#pragma once

#include <cstdint>
#include <cstring>

namespace kplhost {

inline std::uint32_t bits_of(float v) {
  std::uint32_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

inline float float_of(std::uint32_t b) {
  float v;
  std::memcpy(&v, &b, sizeof v);
  return v;
}

}  // namespace kplhost
