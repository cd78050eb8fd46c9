// The unit a micro benchmark measures: device 7 of as many UPS and
// air-conditioner blocks as the benchmark's two arguments say.
#pragma once

#include <benchmark/benchmark.h>

#include "bench/support/device_json.h"

namespace qltbench {

inline Json::Value unit_entry(const benchmark::State& state) {
  return device_json(7, {static_cast<int>(state.range(0)), static_cast<int>(state.range(1))}, 1502);
}

}  // namespace qltbench
