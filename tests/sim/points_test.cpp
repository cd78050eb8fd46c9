// The unit's composition, its named points and the values a fresh unit holds.

#include <gtest/gtest.h>
#include <json/json.h>

#include <algorithm>
#include <cmath>

#include "apps/qlt-unit-sim/item_store.h"
#include "apps/qlt-unit-sim/json_read.h"
#include "testkit/json_text.h"

namespace {

using namespace qltsim;

// 2 UPS, one of each PDU type, 2 air conditioners.
Composition mixed() {
  Composition c;
  c.ups = 2;
  c.pdu_type_1 = c.pdu_type_2 = c.pdu_type_3 = 1;
  c.ac = 2;
  return c;
}

TEST(SimComposition, BlocksLieInOrderAfterTheBaseBlock) {
  const Composition c = mixed();
  EXPECT_EQ(c.items(), 20 + 2 * 391 + 154 + 181 + 81 + 2 * 146);
  EXPECT_EQ(c.ups_block(0), 20);
  EXPECT_EQ(c.ups_block(1), 411);
  EXPECT_EQ(c.ac_block(0), 20 + 782 + 154 + 181 + 81);
  EXPECT_EQ(c.ac_block(1), c.ac_block(0) + 146);
}

TEST(SimComposition, ReadsCountsWrittenAsNumbersOrStrings) {
  const Composition c = Composition::from_app_setting(
      json_of(R"({"ups": "2", "pdu_type_1": 1, "pdu_type_2": null, "ac": 3})"), "appSetting");
  EXPECT_EQ(c.ups, 2);
  EXPECT_EQ(c.pdu_type_1, 1);
  EXPECT_EQ(c.pdu_type_2, 0);
  EXPECT_EQ(c.pdu_type_3, 0);
  EXPECT_EQ(c.ac, 3);
  EXPECT_EQ(Composition::from_app_setting(Json::Value(), "appSetting").items(), 20);
}

TEST(SimComposition, RejectsCountsNamingTheKey) {
  const std::pair<const char*, const char*> bad[] = {
      {R"({"ups": -1})", "appSetting.ups"},
      {R"({"ac": "two"})", "appSetting.ac"},
      {R"({"pdu_type_3": 1.5})", "appSetting.pdu_type_3"},
      {R"({"ups": 168})", "at most 65536"},
      {R"([1])", "appSetting"},
  };
  for (const auto& [text, key] : bad) {
    try {
      Composition::from_app_setting(json_of(text), "appSetting");
      ADD_FAILURE() << text << " accepted";
    } catch (const ConfigError& e) {
      EXPECT_NE(std::string(e.what()).find(key), std::string::npos) << e.what();
    }
  }
}

TEST(SimPoints, ResolvesEachKindOfName) {
  const Composition c = mixed();
  EXPECT_EQ(resolve_point(c, "water_value").item, 0);
  EXPECT_EQ(resolve_point(c, "humid_4_value").item, 18);
  EXPECT_EQ(resolve_point(c, "battery_1_value").item, 411 + 76);
  EXPECT_EQ(resolve_point(c, "item:1509").item, 1509);

  const PointRef ups = resolve_point(c, "ups2.QLT_1");
  EXPECT_EQ(ups.item, 411 + 92);
  EXPECT_TRUE(ups.is_alarm);
  EXPECT_EQ(ups.alarm_value, 2);
  EXPECT_EQ(ups.normal_value, 0);

  const PointRef comm = resolve_point(c, "ac2.QLT_153");
  EXPECT_EQ(comm.item, c.ac_block(1) + 145);
  EXPECT_EQ(comm.alarm_value, 0);
  EXPECT_EQ(comm.normal_value, 1);
}

// The first and last alarm register of each block kind, as literal items.
TEST(SimPoints, AlarmRegistersSpanTheirBlocks) {
  Composition c;
  c.ups = 2;
  c.ac = 1;
  EXPECT_EQ(resolve_point(c, "ups1.QLT_0").item, 20 + 91);
  EXPECT_EQ(resolve_point(c, "ups2.QLT_113").item, 20 + 391 + 346);
  EXPECT_EQ(resolve_point(c, "ac1.QLT_114").item, 20 + 2 * 391 + 77);
  const PointRef comm = resolve_point(c, "ac1.QLT_153");
  EXPECT_EQ(comm.item, 20 + 2 * 391 + 145);
  EXPECT_EQ(comm.item, c.items() - 1);
  EXPECT_EQ(comm.normal_value, 1);
}

TEST(SimPoints, RefusesNamesTheUnitLacks) {
  const Composition c = mixed();
  for (const char* name :
       {"battery_2_value", "ups3.QLT_0", "ups0.QLT_0", "ups01.QLT_0", "ups1.QLT_114", "ac1.QLT_0",
        "ac3.QLT_153", "item:1510", "item:-1", "temperature_5_value", ""}) {
    try {
      resolve_point(c, name);
      ADD_FAILURE() << "'" << name << "' resolved";
    } catch (const PointError& e) {
      EXPECT_NE(std::string(e.what()).find(std::string("'") + name + "'"), std::string::npos)
          << e.what();
    }
  }
}

TEST(SimItemStore, FreshUnitHoldsQuietPlausibleValues) {
  const Composition c = mixed();
  const ItemStore store(c, false);
  const auto t0 = std::chrono::milliseconds(0);
  const auto at = [&](const char* point) { return store.at(resolve_point(c, point).item, t0); };
  for (int k = 1; k <= 4; ++k) {
    const std::string n = std::to_string(k);
    EXPECT_GE(at(("temperature_" + n + "_value").c_str()), 22.0f);
    EXPECT_LE(at(("temperature_" + n + "_value").c_str()), 26.0f);
    EXPECT_GE(at(("humid_" + n + "_value").c_str()), 40.0f);
    EXPECT_LE(at(("humid_" + n + "_value").c_str()), 55.0f);
    EXPECT_EQ(at(("smoke_" + n + "_value").c_str()), 0.0f);
  }
  EXPECT_EQ(at("battery_0_value"), 54.0f);
  EXPECT_EQ(at("battery_1_value"), 54.0f);
  EXPECT_EQ(at("ac1.QLT_153"), 1.0f);
  EXPECT_EQ(at("ac2.QLT_153"), 1.0f);
  // Eight environment values, two batteries, two communication states.
  const std::vector<float> all = store.range(0, store.size(), t0);
  EXPECT_EQ(std::count_if(all.begin(), all.end(), [](float v) { return v != 0.0f; }), 12);
}

TEST(SimItemStore, RaiseAndClearUseEachPointsOwnValues) {
  const Composition c = mixed();
  ItemStore store(c, false);
  const auto value = [&](const char* point) {
    return store.at(resolve_point(c, point).item, std::chrono::milliseconds(0));
  };
  store.raise("ups1.QLT_1");
  EXPECT_EQ(value("ups1.QLT_1"), 2.0f);
  store.raise("ac2.QLT_153");
  EXPECT_EQ(value("ac2.QLT_153"), 0.0f);
  store.clear("ac2.QLT_153");
  EXPECT_EQ(value("ac2.QLT_153"), 1.0f);
  EXPECT_EQ(value("ac1.QLT_153"), 1.0f);
  EXPECT_THROW(store.raise("temperature_1_value"), PointError);
  EXPECT_THROW(store.set("item:1510", 1.0f), PointError);
}

TEST(SimItemStore, AnalogueValuesWobbleUnlessSetOrStill) {
  const Composition c;
  const int temp = resolve_point(c, "temperature_1_value").item;
  const int humid = resolve_point(c, "humid_1_value").item;
  ItemStore varying(c, true);
  const ItemStore still(c, false);
  varying.set("humid_1_value", 47.5f);

  bool moved = false;
  for (int s = 0; s <= 60; s += 5) {
    const std::chrono::milliseconds t(s * 1000);
    moved = moved || varying.at(temp, t) != still.at(temp, t);
    EXPECT_LE(std::fabs(varying.at(temp, t) - still.at(temp, std::chrono::milliseconds(0))), 1.0f);
    EXPECT_EQ(varying.at(humid, t), 47.5f);
    EXPECT_EQ(still.at(temp, t), still.at(temp, std::chrono::milliseconds(0)));
    EXPECT_EQ(varying.at(0, t), 0.0f);
  }
  EXPECT_TRUE(moved);
}

}  // namespace
