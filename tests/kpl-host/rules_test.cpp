// Threshold rules: limits, alarm states, what counts as raised or cleared,
// and the deadband of analogue reports.

#include <gtest/gtest.h>

#include <cmath>

#include "apps/kpl-host/polling/rule_engine.h"
#include "tests/kpl-host/recording_events.h"

namespace {

using namespace kplhost;

class Rules : public ::testing::Test {
 protected:
  void SetUp() override {
    DeviceConfig cfg;
    cfg.device_number = 7;
    cfg.thresholds["temperature_1_value"] = Limits{5.0, 35.0};
    slot = &registry.add(cfg);
    slot->device = std::make_shared<BareDevice>();
    registry.bind(*slot);
  }
  KPLSocketDevice& dev() { return *slot->device; }
  bool round() {
    const bool changed = rules.DoBatchCheckThreshold(dev(), dev().rule_batch);
    dev().rule_batch.clear();
    return changed;
  }
  void temperature(float v) { rules.CheckThreshold(dev(), "temperature_1_value", "温度1", v, 6); }
  void mains_alarm(bool on, const std::string& label = "Number_1_UPS_Alarm_") {
    rules.CheckThresholdBool(dev(), 1, "QLT_0", "02401", "市电输入告警", label, on, 15);
  }

  DeviceRegistry registry;
  RecordingEvents events;
  RuleEngine rules{registry, events};
  DeviceSlot* slot = nullptr;
};

TEST_F(Rules, ValueOutsideItsLimitsRaisesAndBackInsideClears) {
  temperature(20.0f);
  EXPECT_FALSE(round());
  temperature(35.5f);
  EXPECT_TRUE(round());
  temperature(36.0f);
  EXPECT_FALSE(round());
  temperature(4.0f);
  EXPECT_FALSE(round());
  temperature(5.0f);
  EXPECT_TRUE(round());
  EXPECT_EQ(events.seen, (std::vector<std::string>{
                             "threshold temperature_1_value 6", "threshold temperature_1_value 6",
                             "raised temperature_1_value", "threshold temperature_1_value 6",
                             "threshold temperature_1_value 6", "threshold temperature_1_value 6",
                             "cleared temperature_1_value"}));
  EXPECT_FLOAT_EQ(dev().ao_values.at("temperature_1_value"), 5.0f);
}

TEST_F(Rules, ValueThatIsNotANumberIsInAlarmOnlyWhereLimitsAreSet) {
  temperature(std::nanf(""));
  rules.CheckThreshold(dev(), "humid_1_value", "湿度1", std::nanf(""), 7);
  ASSERT_EQ(dev().rule_batch.size(), 2u);
  EXPECT_EQ(dev().rule_batch[0].state, rule_in_alarm);
  EXPECT_EQ(dev().rule_batch[1].state, rule_normal);
}

TEST_F(Rules, AlarmPointsAreKeptApartByBlockLabel) {
  mains_alarm(false);
  mains_alarm(true, "Number_2_UPS_Alarm_");
  EXPECT_TRUE(round());
  mains_alarm(true);
  mains_alarm(true, "Number_2_UPS_Alarm_");
  EXPECT_TRUE(round());
  mains_alarm(false);
  mains_alarm(false, "Number_2_UPS_Alarm_");
  EXPECT_TRUE(round());
  std::vector<std::string> changes;
  for (const auto& e : events.seen)
    if (e.rfind("raised", 0) == 0 || e.rfind("cleared", 0) == 0) changes.push_back(e);
  EXPECT_EQ(changes,
            (std::vector<std::string>{
                "raised Number_2_UPS_Alarm_/QLT_0", "raised Number_1_UPS_Alarm_/QLT_0",
                "cleared Number_1_UPS_Alarm_/QLT_0", "cleared Number_2_UPS_Alarm_/QLT_0"}));
}

TEST_F(Rules, RecordsCarryEverythingTheRoundNeeds) {
  mains_alarm(true);
  const rule_value& r = dev().rule_batch.at(0);
  EXPECT_EQ(r.kind, rule_alarm);
  EXPECT_EQ(r.name, "QLT_0");
  EXPECT_EQ(r.code, "02401");
  EXPECT_EQ(r.desc, "市电输入告警");
  EXPECT_EQ(r.label, "Number_1_UPS_Alarm_");
  EXPECT_EQ(r.number, 15u);
  EXPECT_EQ(r.state, rule_in_alarm);
}

TEST_F(Rules, AnalogueReportsOnlyWhenTheValueMovesBeyondTheDeadband) {
  EXPECT_TRUE(rules.CheckAOReport(dev(), "temperature_1_value", 20.0f));
  EXPECT_FALSE(rules.CheckAOReport(dev(), "temperature_1_value", 20.5f));
  EXPECT_TRUE(rules.CheckAOReport(dev(), "temperature_1_value", 20.6f));
  EXPECT_FALSE(rules.CheckAOReport(dev(), "temperature_1_value", 20.2f));
  EXPECT_TRUE(rules.CheckAOReport(dev(), "temperature_1_value", 19.9f));
  EXPECT_TRUE(rules.CheckAOReport(dev(), "humid_1_value", 50.0f));
}

}  // namespace
