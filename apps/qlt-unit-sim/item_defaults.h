// The values a fresh unit reports: quiet sensors, room temperature and
// humidity, charged batteries, and every alarm point at its normal value.
#pragma once

#include <vector>

#include "apps/qlt-unit-sim/composition.h"

namespace qltsim {

struct ItemDefaults {
  std::vector<float> values;
  // How far each item may wobble either side of its value; 0 keeps it still.
  std::vector<float> amplitude;
};

ItemDefaults default_items(const Composition& c);

}  // namespace qltsim
