#include "apps/qlt-unit-sim/composition.h"

#include "model/item_map.h"
#include "apps/qlt-unit-sim/json_read.h"

namespace qltsim {

namespace {

struct BlockKind {
  const char* key;
  int Composition::*count;
  int items;
};

// Block kinds in the order their blocks lie after the base block.
constexpr BlockKind block_kinds[] = {
    {"ups", &Composition::ups, item_map::ups_items},
    {"pdu_type_1", &Composition::pdu_type_1, item_map::pdu_type_1_items},
    {"pdu_type_2", &Composition::pdu_type_2, item_map::pdu_type_2_items},
    {"pdu_type_3", &Composition::pdu_type_3, item_map::pdu_type_3_items},
    {"ac", &Composition::ac, item_map::ac_items},
};

constexpr size_t ups_kind = 0;
constexpr size_t ac_kind = 4;
static_assert(block_kinds[ups_kind].count == &Composition::ups, "UPS blocks come first");
static_assert(block_kinds[ac_kind].count == &Composition::ac, "air-conditioner blocks come last");

// Items that lie before the first block of `kind` (an index into block_kinds).
long items_before(const Composition& c, size_t kind) {
  long n = item_map::base_items;
  for (size_t k = 0; k < kind; ++k) n += long{block_kinds[k].items} * (c.*block_kinds[k].count);
  return n;
}

}  // namespace

long Composition::items() const { return items_before(*this, std::size(block_kinds)); }

int Composition::ups_block(int i) const {
  return static_cast<int>(items_before(*this, ups_kind) + long{item_map::ups_items} * i);
}

int Composition::ac_block(int j) const {
  return static_cast<int>(items_before(*this, ac_kind) + long{item_map::ac_items} * j);
}

Composition Composition::from_app_setting(const Json::Value& setting, const std::string& where) {
  Composition c;
  if (setting.isNull()) return c;
  if (!setting.isObject()) throw_expected(where, "an object of block counts", setting);
  for (const BlockKind& kind : block_kinds) {
    const std::string key = where + "." + kind.key;
    c.*kind.count = static_cast<int>(json_int(setting[kind.key], key, 0, item_map::max_items, 0));
  }
  if (c.items() > item_map::max_items)
    throw ConfigError(where + ": the counts make " + std::to_string(c.items()) +
                      " items; a unit holds at most " + std::to_string(item_map::max_items));
  return c;
}

}  // namespace qltsim
