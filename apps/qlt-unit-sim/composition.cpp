#include "apps/qlt-unit-sim/composition.h"

#include <iterator>

#include "apps/qlt-unit-sim/json_read.h"
#include "apps/qlt-unit-sim/register_map.h"

namespace qltsim {

namespace {

using register_map::BlockKind;

// How a unit's configuration counts the blocks of each kind.
struct BlockCount {
  const char* key;
  BlockKind kind;
  int Composition::*count;
};

constexpr BlockCount block_counts[] = {
    {"ups", BlockKind::ups, &Composition::ups},
    {"pdu_type_1", BlockKind::pdu_type_1, &Composition::pdu_type_1},
    {"pdu_type_2", BlockKind::pdu_type_2, &Composition::pdu_type_2},
    {"pdu_type_3", BlockKind::pdu_type_3, &Composition::pdu_type_3},
    {"ac", BlockKind::ac, &Composition::ac},
};
static_assert(std::size(block_counts) == std::size(register_map::block_items),
              "every block kind is counted");

// Where `kind` lies among the block kinds, from 0.
constexpr size_t position(BlockKind kind) { return static_cast<size_t>(kind); }

// Items that lie before the first block of the kind at `pos`: the base block
// and every block of an earlier kind. A `pos` past the last kind counts them all.
long items_before(const Composition& c, size_t pos) {
  long n = register_map::base_items;
  for (const BlockCount& b : block_counts)
    if (position(b.kind) < pos) n += long{register_map::items_of(b.kind)} * (c.*b.count);
  return n;
}

int block_start(const Composition& c, BlockKind kind, int i) {
  return static_cast<int>(items_before(c, position(kind)) + long{register_map::items_of(kind)} * i);
}

}  // namespace

long Composition::items() const { return items_before(*this, std::size(block_counts)); }

int Composition::ups_block(int i) const { return block_start(*this, BlockKind::ups, i); }

int Composition::ac_block(int j) const { return block_start(*this, BlockKind::ac, j); }

Composition Composition::from_app_setting(const Json::Value& setting, const std::string& where) {
  Composition c;
  if (setting.isNull()) return c;
  if (!setting.isObject()) throw_expected(where, "an object of block counts", setting);
  for (const BlockCount& b : block_counts) {
    const std::string key = where + "." + b.key;
    c.*b.count = static_cast<int>(json_int(setting[b.key], key, 0, register_map::max_items, 0));
  }
  if (c.items() > register_map::max_items)
    throw ConfigError(where + ": the counts make " + std::to_string(c.items()) +
                      " items; a unit holds at most " + std::to_string(register_map::max_items));
  return c;
}

}  // namespace qltsim
