// What the host knows of analogue points by their names: the family a point
// belongs to, its unit, how it is shown and which metric carries it. The
// contract gives a point only its name and text, so this table is the
// host's own; a point no row knows (another plug-in's) is shown as its
// device reports it, without a unit, under its name's first word.
#pragma once

#include <string>

namespace kplhost {

struct PointKind {
  // The start of the point names of this kind ("temperature_").
  const char* prefix;
  // How a person reads the family ("temperature", "humidity").
  const char* family;
  // Written after a value, with its space (" °C"), or "".
  const char* unit;
  // Decimals shown, everywhere a person reads a value.
  int decimals;
  // The Prometheus metric, the factor to its unit, and its help text.
  const char* metric;
  double metric_scale;
  const char* metric_help;
};

// The kind whose prefix starts the name; the generic kind when none does.
const PointKind& point_kind(const std::string& name);
// The generic kind, last among all_point_kinds().
const PointKind& generic_point_kind();
// Every kind, the generic one last; count in `n`.
const PointKind* all_point_kinds(std::size_t& n);
// The family a person reads a point under: its kind's, or for the generic
// kind the first word of its name ("water_value" -> "water").
std::string point_family(const std::string& name);
// The value as a person reads it: its kind's decimals and unit ("23.4 °C").
std::string point_value_text(const std::string& name, double value);

}  // namespace kplhost
