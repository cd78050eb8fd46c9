// Named points of a unit: the names scenarios and tests use, resolved to an
// item of a unit of a given composition.
//
//   water_value, temperature_1_value, ...   environment points of the base block
//   battery_<i>_value                       battery voltage of UPS block i (from 0)
//   ups<k>.QLT_<n>, ac<k>.QLT_<n>           alarm point of UPS / air-conditioner block k (from 1);
//                                           n is 0..113 for UPS, 114..153 for air conditioners
//   item:<k>                                any item
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

#include "apps/qlt-unit-sim/composition.h"

namespace qltsim {

struct PointRef {
  int item = 0;
  bool is_alarm = false;
  // For alarm points: the value that raises it, and the value that clears it.
  int alarm_value = 0;
  int normal_value = 0;
};

// A name that does not denote a point of the unit, or a point used in a way
// it cannot be (raising an analogue point); what() says why.
class PointError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// Throws PointError.
PointRef resolve_point(const Composition& c, const std::string& name);

// Calls f for every alarm point of every block of the unit.
void for_each_alarm_point(const Composition& c, const std::function<void(const PointRef&)>& f);

}  // namespace qltsim
