// The point tables against the unit's register map, and the alarm flag's
// conversion of every kind of float.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "points/ac_alarm_points.h"
#include "points/alarm_flag.h"
#include "points/environment_points.h"
#include "points/ups_alarm_points.h"

namespace {

std::uint64_t fnv1a(const std::string& s) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : s) h = (h ^ c) * 0x100000001b3ull;
  return h;
}

template <size_t N>
std::string rows_text(const AlarmPoint (&rows)[N]) {
  std::string s;
  for (const AlarmPoint& r : rows)
    s += std::string(r.id) + "|" + r.code + "|" + r.desc + "|" + std::to_string(r.item) + "|" +
         std::to_string(r.alarm_value) + "\n";
  return s;
}

// The digests were taken from the unit's register map, every id, code, text,
// item and alarm value character for character; any change to a row shows.
TEST(PointTables, MatchTheRegisterMapCharacterForCharacter) {
  std::string env;
  for (const AnaloguePoint& r : environment_points)
    env += std::string(r.name) + "|" + r.desc + "|" + std::to_string(r.item) + "\n";
  EXPECT_EQ(fnv1a(env), 0xf273f9e59f19a923ull);
  EXPECT_EQ(fnv1a(rows_text(ups_alarm_points)), 0x21dfcc09a3634f92ull);
  EXPECT_EQ(fnv1a(rows_text(ac_alarm_points)), 0xcc67edd51e3f9e51ull);
}

template <size_t N>
void expect_well_formed(const AlarmPoint (&rows)[N], int first_id, int block_items) {
  for (size_t n = 0; n < N; ++n) {
    EXPECT_EQ(rows[n].id, "QLT_" + std::to_string(first_id + int(n)));
    EXPECT_EQ(std::string(rows[n].code).size(), 5u) << rows[n].id;
    EXPECT_LT(rows[n].item, block_items) << rows[n].id;
    if (n > 0) {
      EXPECT_GT(rows[n].item, rows[n - 1].item) << rows[n].id;
    }
  }
}

TEST(PointTables, IdsRunOnItemsIncreaseWithinTheBlock) {
  expect_well_formed(ups_alarm_points, 0, 391);
  expect_well_formed(ac_alarm_points, 114, 146);
  EXPECT_EQ(ac_alarm_points[39].item, 145);
}

TEST(PointTables, CodesAndTheirOneRepeat) {
  for (int n = 0; n < 114; ++n) EXPECT_EQ(std::stoi(ups_alarm_points[n].code), 2401 + n);
  for (int n = 114; n < 154; ++n) {
    const int want = n < 142 ? 2401 + n : n == 142 ? 2542 : 2400 + n;
    EXPECT_EQ(std::stoi(ac_alarm_points[n - 114].code), want) << n;
  }
  EXPECT_STREQ(ac_alarm_points[28].id, "QLT_142");
  EXPECT_STREQ(ac_alarm_points[28].code, ac_alarm_points[27].code);
}

TEST(PointTables, AlarmValuesAndTheirExceptions) {
  for (const AlarmPoint& r : ups_alarm_points) {
    const std::string id = r.id;
    const bool two = id == "QLT_1" || id == "QLT_2" || id == "QLT_4" || id == "QLT_6";
    EXPECT_EQ(r.alarm_value, two ? 2 : 1) << id;
  }
  for (const AlarmPoint& r : ac_alarm_points)
    EXPECT_EQ(r.alarm_value, std::string(r.id) == "QLT_153" ? 0 : 1) << r.id;
}

TEST(AlarmFlag, TruncatesTowardZeroWithDefinedEdges) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    float v;
    std::int32_t want;
  } cases[] = {{0.9f, 0},
               {1.0f, 1},
               {1.9f, 1},
               {2.0f, 2},
               {2.9f, 2},
               {-0.7f, 0},
               {-1.5f, -1},
               {nan, 0},
               {-nan, 0},
               {3e10f, INT32_MAX},
               {-3e10f, INT32_MIN},
               {inf, INT32_MAX},
               {-inf, INT32_MIN},
               {2147483520.0f, 2147483520},
               {-2147483648.0f, INT32_MIN}};
  for (const Case& c : cases) EXPECT_EQ(truncate_to_int32(c.v), c.want) << c.v;
}

TEST(AlarmFlag, ComparesWithTheRowsAlarmValue) {
  EXPECT_TRUE(alarm_flag(1.9f, 1));
  EXPECT_TRUE(alarm_flag(2.5f, 2));
  EXPECT_TRUE(alarm_flag(-0.7f, 0));
  EXPECT_TRUE(alarm_flag(std::nanf(""), 0));
  EXPECT_FALSE(alarm_flag(0.9f, 1));
  EXPECT_FALSE(alarm_flag(3e10f, 1));
}

}  // namespace
