// The unit's values: one float per item, laid out for its composition and
// filled with plausible defaults. Analogue defaults may wobble slowly with
// time; a value that has been set stays exactly as set. Not thread-safe: the
// unit serialises access.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "apps/qlt-unit-sim/composition.h"
#include "apps/qlt-unit-sim/point_names.h"

namespace qltsim {

class ItemStore {
 public:
  ItemStore(const Composition& c, bool vary);

  const Composition& composition() const { return composition_; }
  long size() const { return static_cast<long>(base_.size()); }

  // Value of an item at time t since the unit's start; throws std::out_of_range.
  float at(long item, std::chrono::milliseconds t) const;
  // Items [first, first + count) at time t; throws std::out_of_range.
  std::vector<float> range(long first, long count, std::chrono::milliseconds t) const;

  void set_item(long item, float value);
  // By point name; throw PointError for unknown names, and raise/clear also
  // for points that are not alarm points.
  void set(const std::string& point, float value);
  void raise(const std::string& point);
  void clear(const std::string& point);

 private:
  PointRef alarm(const std::string& point) const;
  void check(long first, long count) const;

  Composition composition_;
  bool vary_;
  std::vector<float> base_;
  // Wobble amplitude per item; 0 for items that do not move.
  std::vector<float> amplitude_;
};

}  // namespace qltsim
