#include "apps/qlt-unit-sim/item_store.h"

#include <cmath>
#include <stdexcept>

#include "apps/qlt-unit-sim/item_defaults.h"

namespace qltsim {

namespace {

constexpr double wobble_period_s = 60.0;
constexpr double two_pi = 6.283185307179586;

// Each item gets its own phase so that neighbouring sensors do not move in step.
float wobble(float amplitude, long item, std::chrono::milliseconds t) {
  const double turns = static_cast<double>(t.count()) / 1000.0 / wobble_period_s;
  return static_cast<float>(amplitude * std::sin(two_pi * turns + 0.7 * static_cast<double>(item)));
}

}  // namespace

ItemStore::ItemStore(const Composition& c, bool vary) : composition_(c), vary_(vary) {
  ItemDefaults d = default_items(c);
  base_ = std::move(d.values);
  amplitude_ = std::move(d.amplitude);
}

void ItemStore::check(long first, long count) const {
  if (first < 0 || count < 0 || first > size() - count)
    throw std::out_of_range("items " + std::to_string(first) + ".." +
                            std::to_string(first + count - 1) + " outside the unit's " +
                            std::to_string(size()) + " items");
}

float ItemStore::at(long item, std::chrono::milliseconds t) const {
  check(item, 1);
  const auto i = static_cast<size_t>(item);
  if (!vary_ || amplitude_[i] == 0.0f) return base_[i];
  return base_[i] + wobble(amplitude_[i], item, t);
}

std::vector<float> ItemStore::range(long first, long count, std::chrono::milliseconds t) const {
  check(first, count);
  std::vector<float> out;
  out.reserve(static_cast<size_t>(count));
  for (long k = first; k < first + count; ++k) out.push_back(at(k, t));
  return out;
}

void ItemStore::set_item(long item, float value) {
  check(item, 1);
  base_[static_cast<size_t>(item)] = value;
  amplitude_[static_cast<size_t>(item)] = 0.0f;
}

void ItemStore::set(const std::string& point, float value) {
  set_item(resolve_point(composition_, point).item, value);
}

PointRef ItemStore::alarm(const std::string& point) const {
  const PointRef p = resolve_point(composition_, point);
  if (!p.is_alarm) throw PointError("'" + point + "' is not an alarm point");
  return p;
}

void ItemStore::raise(const std::string& point) {
  const PointRef p = alarm(point);
  set_item(p.item, static_cast<float>(p.alarm_value));
}

void ItemStore::clear(const std::string& point) {
  const PointRef p = alarm(point);
  set_item(p.item, static_cast<float>(p.normal_value));
}

}  // namespace qltsim
