// Scenario files, and a unit stepping through one on a clock the test moves.

#include <gtest/gtest.h>
#include <json/json.h>

#include "apps/qlt-unit-sim/json_read.h"
#include "apps/qlt-unit-sim/simulator.h"
#include "testkit/json_text.h"

namespace {

using namespace qltsim;
using namespace std::chrono_literals;

Scenario scenario(const std::string& text) {
  return Scenario::from_json(json_of(text), "alarms.json");
}

std::string error_of(const std::function<void()>& f) {
  try {
    f();
  } catch (const ConfigError& e) {
    return e.what();
  }
  return "(no error)";
}

const char* const alarm_script = R"({"steps": [
    {"at_s": 8, "clear": ["ups1.QLT_0"]},
    {"at_s": 3, "set": {"temperature_1_value": 41.5}},
    {"at_s": 3, "raise": ["ups1.QLT_0"]}]})";

TEST(SimScenario, ReadsStepsIntoTimeOrder) {
  std::vector<std::string> seen;
  const Scenario script = scenario(alarm_script);
  for (const ScenarioStep& s : script.steps()) seen.push_back(s.describe());
  EXPECT_EQ(seen, (std::vector<std::string>{"t=3s set temperature_1_value 41.5",
                                            "t=3s raise ups1.QLT_0", "t=8s clear ups1.QLT_0"}));
  EXPECT_EQ(scenario(R"({"steps": [{"at_s": 2.5, "raise": ["ac1.QLT_153"]}]})").steps()[0].at,
            2500ms);
}

TEST(SimScenario, NamesFileAndKeyOfAMalformedStep) {
  const std::pair<const char*, const char*> bad[] = {
      {R"({"steps": [{"raise": ["ups1.QLT_0"]}]})", "alarms.json: steps[0].at_s"},
      {R"({"steps": [{"at_s": -1}]})", "alarms.json: steps[0].at_s"},
      {R"({"steps": [{"at_s": 1, "set": {"water_value": "wet"}}]})", "steps[0].set.water_value"},
      {R"({"steps": [{"at_s": 1, "rise": []}]})", "steps[0].rise"},
      {R"({"steps": [{"at_s": 1}, {"at_s": 2, "raise": "ups1.QLT_0"}]})", "steps[1].raise"},
      {R"({"step": []})", "alarms.json: steps"},
  };
  for (const auto& [text, where] : bad)
    EXPECT_NE(error_of([&] { scenario(text); }).find(where), std::string::npos) << text;
}

TEST(SimScenario, NamesFileStepAndPointTheUnitLacks) {
  Composition c;
  c.ups = 1;
  const Scenario s = scenario(
      R"({"steps": [{"at_s": 1, "raise": ["ups1.QLT_0"]}, {"at_s": 2, "raise": ["ups2.QLT_0"]}]})");
  const std::string why = error_of([&] { s.check(c); });
  EXPECT_NE(why.find("alarms.json: steps[1].raise[0]: unknown point 'ups2.QLT_0'"),
            std::string::npos)
      << why;
  EXPECT_NE(error_of([&] {
              scenario(R"({"steps": [{"at_s": 1, "clear": ["water_value"]}]})").check(c);
            }).find("not an alarm point"),
            std::string::npos);
}

class SimScenarioRun : public ::testing::Test {
 protected:
  Unit& unit_with(const char* script) {
    UnitConfig cfg;
    cfg.composition.ups = 1;
    cfg.vary = false;
    cfg.clock = clock;
    cfg.scenario = scenario(script);
    cfg.on_step = [this](const ScenarioStep& s) { fired.push_back(s.describe()); };
    return sim.add_unit(cfg);
  }

  std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
  std::vector<std::string> fired;
  Simulator sim;
};

TEST_F(SimScenarioRun, StepsFireWhenTheClockReachesThemAndOnlyOnce) {
  Unit& u = unit_with(alarm_script);
  const int alarm = 20 + 91;
  clock->set(2999ms);
  EXPECT_EQ(u.item(8), 23.0f);
  EXPECT_EQ(u.item(alarm), 0.0f);
  EXPECT_TRUE(fired.empty());

  clock->set(3s);
  EXPECT_EQ(u.item(8), 41.5f);
  EXPECT_EQ(u.item(alarm), 1.0f);
  EXPECT_EQ(fired.size(), 2u);

  clock->set(20s);
  EXPECT_EQ(u.items()[alarm], 0.0f);
  EXPECT_EQ(u.item(8), 41.5f);
  EXPECT_EQ(fired, (std::vector<std::string>{"t=3s set temperature_1_value 41.5",
                                             "t=3s raise ups1.QLT_0", "t=8s clear ups1.QLT_0"}));
}

TEST_F(SimScenarioRun, DueStepsFireBeforeAValueIsSetByHand) {
  Unit& u = unit_with(
      R"({"steps": [{"at_s": 1, "set": {"item:30": 1}}, {"at_s": 1, "set": {"item:30": 2}}]})");
  clock->set(5s);
  EXPECT_EQ(u.item(30), 2.0f);
  u.set("item:30", 7.0f);
  EXPECT_EQ(u.item(30), 7.0f);
}

TEST_F(SimScenarioRun, UnitRefusesAScenarioForPointsItLacks) {
  EXPECT_THROW(unit_with(R"({"steps": [{"at_s": 1, "raise": ["ac1.QLT_153"]}]})"), ConfigError);
  EXPECT_EQ(sim.size(), 0u);
}

}  // namespace
