// Faults as the configuration writes them:
//
//   {"mode": "delay_ms", "ms": 1500, "every_nth": 3}
//   {"mode": "gateway", "ms": 120}
//   {"mode": "late_duplicate", "ms": 800, "next": 1}
//   {"mode": "mute"}
//   {"mode": "drop", "next": 2}
//   {"mode": "junk", "bytes": "de ad be ef", "every": true}
//   {"mode": "short", "missing_items": 2}
//   {"mode": "error", "code": 4}
//
// A fault with no "every", "every_nth" or "next" hits every request. "code"
// serves error and exception, "missing_items" short and lying_count; "ms",
// which delay_ms, gateway and late_duplicate need, is a time in milliseconds.
#pragma once

#include <json/value.h>

#include <string>
#include <vector>

#include "apps/qlt-unit-sim/fault.h"

namespace qltsim {

// Throws ConfigError naming the key below `where` that is wrong.
Fault fault_from_json(const Json::Value& v, const std::string& where);
std::vector<Fault> faults_from_json(const Json::Value& list, const std::string& where);

}  // namespace qltsim
