#include "apps/qlt-unit-sim/register_map.h"

#include <iterator>

namespace qltsim::register_map {

namespace {

template <typename Row, size_t N>
constexpr bool all_within(const Row (&rows)[N], int items) {
  for (const Row& r : rows)
    if (r.item < 0 || r.item >= items) return false;
  return true;
}

constexpr NamedRegister environment[] = {
    {"water_value", 0},          {"smoke_1_value", 1},        {"smoke_2_value", 2},
    {"smoke_3_value", 3},        {"smoke_4_value", 4},        {"temperature_1_value", 8},
    {"humid_1_value", 9},        {"temperature_2_value", 11}, {"humid_2_value", 12},
    {"temperature_3_value", 14}, {"humid_3_value", 15},       {"temperature_4_value", 17},
    {"humid_4_value", 18},
};

// The unit numbers the alarms of a UPS block from 0 and those of an
// air-conditioner block after them; each line's comment gives its rows' numbers.
constexpr AlarmRegister ups_alarms[] = {
    {91, 1},  {92, 2},  {105, 2}, {118, 1}, {144, 2}, {145, 1}, {146, 2}, {151, 1},  // 0..7
    {152, 1}, {153, 1}, {154, 1}, {155, 1}, {156, 1}, {157, 1}, {158, 1}, {159, 1},  // 8..15
    {160, 1}, {161, 1}, {162, 1}, {163, 1}, {164, 1}, {165, 1}, {166, 1}, {167, 1},  // 16..23
    {169, 1}, {170, 1}, {172, 1}, {173, 1}, {174, 1}, {175, 1}, {176, 1}, {177, 1},  // 24..31
    {178, 1}, {179, 1}, {180, 1}, {181, 1}, {182, 1}, {183, 1}, {184, 1}, {185, 1},  // 32..39
    {186, 1}, {187, 1}, {188, 1}, {189, 1}, {190, 1}, {191, 1}, {192, 1}, {193, 1},  // 40..47
    {194, 1}, {195, 1}, {196, 1}, {197, 1}, {198, 1}, {199, 1}, {200, 1}, {201, 1},  // 48..55
    {202, 1}, {207, 1}, {208, 1}, {225, 1}, {226, 1}, {227, 1}, {228, 1}, {229, 1},  // 56..63
    {235, 1}, {236, 1}, {237, 1}, {238, 1}, {239, 1}, {240, 1}, {241, 1}, {242, 1},  // 64..71
    {243, 1}, {244, 1}, {245, 1}, {246, 1}, {247, 1}, {248, 1}, {249, 1}, {250, 1},  // 72..79
    {251, 1}, {252, 1}, {253, 1}, {254, 1}, {255, 1}, {256, 1}, {257, 1}, {258, 1},  // 80..87
    {259, 1}, {260, 1}, {261, 1}, {262, 1}, {283, 1}, {284, 1}, {285, 1}, {288, 1},  // 88..95
    {304, 1}, {306, 1}, {313, 1}, {314, 1}, {319, 1}, {320, 1}, {328, 1}, {329, 1},  // 96..103
    {333, 1}, {334, 1}, {335, 1}, {336, 1}, {337, 1}, {338, 1}, {339, 1}, {344, 1},  // 104..111
    {345, 1}, {346, 1}                                                               // 112..113
};

constexpr AlarmRegister ac_alarms[] = {
    {77, 1},  {81, 1},  {82, 1},  {83, 1},  {84, 1},  {85, 1},  {86, 1},  {88, 1},   // 114..121
    {89, 1},  {90, 1},  {91, 1},  {92, 1},  {93, 1},  {94, 1},  {95, 1},  {96, 1},   // 122..129
    {97, 1},  {102, 1}, {103, 1}, {104, 1}, {107, 1}, {108, 1}, {109, 1}, {110, 1},  // 130..137
    {111, 1}, {112, 1}, {113, 1}, {114, 1}, {116, 1}, {117, 1}, {118, 1}, {119, 1},  // 138..145
    {120, 1}, {121, 1}, {122, 1}, {123, 1}, {141, 1}, {143, 1}, {144, 1}, {145, 0}   // 146..153
};

static_assert(all_within(environment, base_items), "environment registers lie in the base block");
static_assert(std::size(ups_alarms) == ups_alarm_count, "114 alarm registers in a UPS block");
static_assert(std::size(ac_alarms) == ac_alarm_count, "40 alarm registers in an air conditioner");
static_assert(all_within(ups_alarms, items_of(BlockKind::ups)), "UPS alarms lie in the block");
static_assert(all_within(ac_alarms, items_of(BlockKind::ac)),
              "air-conditioner alarms lie in the block");

}  // namespace

const Rows<NamedRegister> environment_registers{environment, std::size(environment)};
const Rows<AlarmRegister> ups_alarm_registers{ups_alarms, std::size(ups_alarms)};
const Rows<AlarmRegister> ac_alarm_registers{ac_alarms, std::size(ac_alarms)};

}  // namespace qltsim::register_map
