#include "apps/qlt-unit-sim/item_defaults.h"

#include <string>

#include "apps/qlt-unit-sim/point_names.h"
#include "apps/qlt-unit-sim/register_map.h"

namespace qltsim {

namespace {

struct AnalogueDefault {
  const char* point;
  float value;
  float amplitude;
};

// Water and smoke sensors stay at 0, which the defaults already are.
constexpr AnalogueDefault environment_defaults[] = {
    {"temperature_1_value", 23.0f, 0.3f}, {"humid_1_value", 45.0f, 0.8f},
    {"temperature_2_value", 24.0f, 0.3f}, {"humid_2_value", 48.0f, 0.8f},
    {"temperature_3_value", 24.5f, 0.3f}, {"humid_3_value", 50.0f, 0.8f},
    {"temperature_4_value", 25.0f, 0.3f}, {"humid_4_value", 52.0f, 0.8f},
};

constexpr float battery_volts = 54.0f;
constexpr float battery_wobble = 0.2f;

void lay(ItemDefaults& d, int item, float value, float amplitude) {
  d.values[static_cast<size_t>(item)] = value;
  d.amplitude[static_cast<size_t>(item)] = amplitude;
}

}  // namespace

ItemDefaults default_items(const Composition& c) {
  const auto n = static_cast<size_t>(c.items());
  ItemDefaults d{std::vector<float>(n, 0.0f), std::vector<float>(n, 0.0f)};
  for (const AnalogueDefault& a : environment_defaults)
    lay(d, resolve_point(c, a.point).item, a.value, a.amplitude);
  for (int i = 0; i < c.ups; ++i)
    lay(d, c.ups_block(i) + register_map::ups_battery_item, battery_volts, battery_wobble);
  for_each_alarm_point(c, [&](const PointRef& p) { lay(d, p.item, float(p.normal_value), 0.0f); });
  return d;
}

}  // namespace qltsim
