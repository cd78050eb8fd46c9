// The environment points of the base block, in call order: each is handed
// to the host as an analogue value, by name and display text.
#pragma once

#include "points/point_rows.h"

// One row per point, in columns, for reading by eye.
// clang-format off
inline constexpr AnaloguePoint environment_points[] = {
    // name                   description  item
    {"water_value",           "水浸",      0},
    {"smoke_1_value",         "烟感1",     1},
    {"smoke_2_value",         "烟感2",     2},
    {"smoke_3_value",         "烟感3",     3},
    {"smoke_4_value",         "烟感4",     4},
    {"temperature_1_value",   "温度1",     8},
    {"humid_1_value",         "湿度1",     9},
    {"temperature_2_value",   "温度2",     11},
    {"humid_2_value",         "湿度2",     12},
    {"temperature_3_value",   "温度3",     14},
    {"humid_3_value",         "湿度3",     15},
    {"temperature_4_value",   "温度4",     17},
    {"humid_4_value",         "湿度4",     18},
};
// clang-format on

static_assert(sizeof(environment_points) / sizeof(environment_points[0]) == 13,
              "13 environment points");
