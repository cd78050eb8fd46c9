// One rule result: what a threshold call concluded about one point in one
// round. Devices collect them in rule_batch and hand them on in batches.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

struct rule_value {
  // rule_kind: an analogue value compared with limits, or an alarm state.
  unsigned char kind;
  // The point's data key, or its alarm id.
  std::string name;
  std::string desc;
  // The point number the device gave with the call.
  std::uint32_t number;
  // The IEEE-754 bits of an analogue value, or 0/1 for an alarm flag.
  std::uint32_t value_bits;
  // The alarm code, empty for an analogue value.
  std::string code;
  // The block's group label, empty for an analogue value.
  std::string label;
  // rule_state: whether the point is in alarm this round.
  std::uint32_t state;
};

enum rule_kind : unsigned char { rule_analogue = 0, rule_alarm = 1 };
enum rule_state : std::uint32_t { rule_normal = 0, rule_in_alarm = 1 };

// An analogue value as value_bits carries it, and back: bit for bit, so a
// NaN or an infinity the unit sent arrives as sent.
inline std::uint32_t value_bits_of(float v) {
  std::uint32_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}
inline float value_of_bits(std::uint32_t b) {
  float v;
  std::memcpy(&v, &b, sizeof v);
  return v;
}
