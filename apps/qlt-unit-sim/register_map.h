// The unit's register map: a base block of environment registers, then the
// blocks its configuration counts, kind after kind. Every register is one
// 4-byte item; items within a block are counted from the block's first.
//
// The simulator keeps its own register map on purpose, written from the
// unit's side rather than taken from the plug-in, so that end-to-end tests
// compare the plug-in with something it did not compute.
#pragma once

#include <cstddef>

namespace qltsim::register_map {

// A table's rows, walked with a range for.
template <typename Row>
struct Rows {
  const Row* first;
  size_t count;

  const Row* begin() const { return first; }
  const Row* end() const { return first + count; }
  const Row& operator[](size_t i) const { return first[i]; }
};

constexpr int base_items = 20;

// The kinds of block after the base block, in the order their blocks lie.
enum class BlockKind { ups, pdu_type_1, pdu_type_2, pdu_type_3, ac };

// Items of one block, indexed by BlockKind.
inline constexpr int block_items[] = {391, 154, 181, 81, 146};

constexpr int items_of(BlockKind kind) { return block_items[static_cast<size_t>(kind)]; }

// Read requests start at a 16-bit address, so a unit serves at most this many items.
constexpr long max_items = 0x10000;

// A register of the base block, by the name scenarios give it.
struct NamedRegister {
  const char* name;
  int item;
};

// Water, the four smoke sensors and the four temperature/humidity pairs.
extern const Rows<NamedRegister> environment_registers;

// Battery voltage, within a UPS block.
constexpr int ups_battery_item = 76;

// An alarm register within its block, and the value it holds while in alarm.
struct AlarmRegister {
  int item;
  int alarm_value;
};

// A register's value when not in alarm: 0, or 1 for a register in alarm at 0.
constexpr int normal_value(int alarm_value) { return alarm_value == 0 ? 1 : 0; }

// The alarm registers of a UPS block and of an air-conditioner block, in the
// order the unit numbers them.
constexpr size_t ups_alarm_count = 114;
constexpr size_t ac_alarm_count = 40;
extern const Rows<AlarmRegister> ups_alarm_registers;
extern const Rows<AlarmRegister> ac_alarm_registers;

}  // namespace qltsim::register_map
