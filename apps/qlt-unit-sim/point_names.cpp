#include "apps/qlt-unit-sim/point_names.h"

#include <cstring>
#include <optional>

#include "apps/qlt-unit-sim/register_map.h"

namespace qltsim {

namespace {

using register_map::AlarmRegister;

// A block kind whose alarm points are named "<prefix><k>.QLT_<n>", where n
// counts the kind's alarm registers from first_number.
struct AlarmBlock {
  const char* prefix;
  const char* what;
  const register_map::Rows<AlarmRegister>* rows;
  long first_number;
  int Composition::*count;
  int (Composition::*first_item)(int) const;
};

const AlarmBlock alarm_blocks[] = {
    {"ups", "UPS", &register_map::ups_alarm_registers, 0, &Composition::ups,
     &Composition::ups_block},
    {"ac", "air-conditioner", &register_map::ac_alarm_registers, register_map::ups_alarm_count,
     &Composition::ac, &Composition::ac_block},
};

// A decimal index with no sign, blanks or leading zeros, as the names write it.
std::optional<long> index_of(const std::string& s) {
  if (s.empty() || s.size() > 9 || (s.size() > 1 && s[0] == '0')) return std::nullopt;
  long n = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  return n;
}

bool starts_with(const std::string& s, const char* prefix) {
  return s.compare(0, std::strlen(prefix), prefix) == 0;
}

std::string blocks_text(int n, const char* what) {
  return "the unit has " + std::to_string(n) + " " + what + (n == 1 ? " block" : " blocks");
}

[[noreturn]] void unknown(const std::string& name, const std::string& why) {
  throw PointError("unknown point '" + name + "': " + why);
}

std::optional<PointRef> environment_point(const std::string& name) {
  for (const register_map::NamedRegister& r : register_map::environment_registers)
    if (name == r.name) return PointRef{r.item};
  return std::nullopt;
}

std::optional<PointRef> battery_point(const Composition& c, const std::string& name) {
  const std::string head = "battery_", tail = "_value";
  if (!starts_with(name, head.c_str()) || name.size() <= head.size() + tail.size() ||
      name.compare(name.size() - tail.size(), tail.size(), tail) != 0)
    return std::nullopt;
  const auto i = index_of(name.substr(head.size(), name.size() - head.size() - tail.size()));
  if (!i) return std::nullopt;
  if (*i >= c.ups) unknown(name, blocks_text(c.ups, "UPS") + " (batteries count from 0)");
  return PointRef{c.ups_block(static_cast<int>(*i)) + register_map::ups_battery_item};
}

PointRef alarm_ref(const Composition& c, const AlarmBlock& kind, int block,
                   const AlarmRegister& row) {
  return PointRef{(c.*kind.first_item)(block) + row.item, true, row.alarm_value,
                  register_map::normal_value(row.alarm_value)};
}

// The row a block kind's alarm point "QLT_<n>" names, if the kind has one.
const AlarmRegister* alarm_row(const AlarmBlock& kind, const std::string& id) {
  if (!starts_with(id, "QLT_")) return nullptr;
  const auto n = index_of(id.substr(4));
  if (!n || *n < kind.first_number) return nullptr;
  const auto r = static_cast<size_t>(*n - kind.first_number);
  return r < kind.rows->count ? &(*kind.rows)[r] : nullptr;
}

std::optional<PointRef> alarm_point(const Composition& c, const std::string& name) {
  const size_t dot = name.find('.');
  if (dot == std::string::npos) return std::nullopt;
  const std::string block = name.substr(0, dot), id = name.substr(dot + 1);
  for (const AlarmBlock& kind : alarm_blocks) {
    if (!starts_with(block, kind.prefix)) continue;
    const auto k = index_of(block.substr(std::strlen(kind.prefix)));
    if (!k) continue;
    const int count = c.*kind.count;
    if (*k < 1 || *k > count)
      unknown(name, blocks_text(count, kind.what) + " (blocks count from 1)");
    if (const AlarmRegister* row = alarm_row(kind, id))
      return alarm_ref(c, kind, static_cast<int>(*k - 1), *row);
    unknown(name, std::string(kind.what) + " blocks have no alarm point '" + id + "'");
  }
  return std::nullopt;
}

std::optional<PointRef> raw_item(const Composition& c, const std::string& name) {
  if (!starts_with(name, "item:")) return std::nullopt;
  const auto k = index_of(name.substr(5));
  if (!k) unknown(name, "expected item:<index>");
  if (*k >= c.items()) unknown(name, "the unit has " + std::to_string(c.items()) + " items");
  return PointRef{static_cast<int>(*k)};
}

}  // namespace

void for_each_alarm_point(const Composition& c, const std::function<void(const PointRef&)>& f) {
  for (const AlarmBlock& kind : alarm_blocks)
    for (int b = 0; b < c.*kind.count; ++b)
      for (const AlarmRegister& row : *kind.rows) f(alarm_ref(c, kind, b, row));
}

PointRef resolve_point(const Composition& c, const std::string& name) {
  if (auto p = environment_point(name)) return *p;
  if (auto p = battery_point(c, name)) return *p;
  if (auto p = alarm_point(c, name)) return *p;
  if (auto p = raw_item(c, name)) return *p;
  unknown(name,
          "not an environment point, battery_<i>_value, ups<k>.QLT_<n>, ac<k>.QLT_<n> or "
          "item:<k>");
}

}  // namespace qltsim
