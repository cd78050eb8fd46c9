#include "apps/kpl-host/core/point_kinds.h"

#include <cmath>
#include <cstdio>
#include <iterator>

namespace kplhost {

namespace {

constexpr PointKind kinds[] = {
    {"temperature_", "temperature", " °C", 1, "kpl_point_temperature_celsius", 1,
     "A temperature point."},
    {"humid_", "humidity", " %RH", 1, "kpl_point_humidity_ratio", 0.01,
     "A relative humidity point, 0 to 1."},
    {"battery_", "battery", " V", 1, "kpl_point_battery_volts", 1, "A battery voltage point."},
    // Matches every name: the generic kind.
    {"", "", "", 1, "kpl_point_value", 1, "Any other analogue point, as the device reports it."},
};

}  // namespace

const PointKind& point_kind(const std::string& name) {
  for (const PointKind& k : kinds)
    if (name.rfind(k.prefix, 0) == 0) return k;
  return generic_point_kind();
}

const PointKind& generic_point_kind() { return kinds[std::size(kinds) - 1]; }

const PointKind* all_point_kinds(std::size_t& n) {
  n = std::size(kinds);
  return kinds;
}

std::string point_family(const std::string& name) {
  const PointKind& k = point_kind(name);
  if (k.prefix[0] != '\0') return k.family;
  const size_t us = name.find('_');
  return us == std::string::npos ? name : name.substr(0, us);
}

std::string point_value_text(const std::string& name, double value) {
  if (!std::isfinite(value)) return "—";
  const PointKind& k = point_kind(name);
  char text[64];
  std::snprintf(text, sizeof text, "%.*f%s", k.decimals, value, k.unit);
  return text;
}

}  // namespace kplhost
