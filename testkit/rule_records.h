// The record a host keeps for each threshold call, as the test hosts keep
// them in a device's rule_batch.
#pragma once

#include <string>

#include "host/rule_value.h"

inline rule_value analogue_record(const std::string& name, const std::string& desc, float value,
                                  int number) {
  return {rule_analogue,        name, desc, static_cast<std::uint32_t>(number),
          value_bits_of(value), {},   {},   rule_normal};
}

inline rule_value alarm_record(const std::string& id, const std::string& code,
                               const std::string& desc, const std::string& label, bool flag,
                               unsigned short number) {
  return {rule_alarm,     id,   desc,  number,
          flag ? 1u : 0u, code, label, flag ? rule_in_alarm : rule_normal};
}
