// Scripted changes to a unit's values over time, from a JSON file such as
//
//   {"steps": [{"at_s": 3, "set": {"temperature_1_value": 41.5}},
//              {"at_s": 3, "raise": ["ups1.QLT_0"]},
//              {"at_s": 8, "clear": ["ups1.QLT_0"]}]}
//
// Times count from the unit's start.
#pragma once

#include <json/value.h>

#include <chrono>
#include <string>
#include <vector>

#include "apps/qlt-unit-sim/composition.h"
#include "apps/qlt-unit-sim/item_store.h"

namespace qltsim {

enum class StepAction { set, raise, clear };

struct ScenarioStep {
  std::chrono::milliseconds at{0};
  StepAction action = StepAction::set;
  std::string point;
  float value = 0;  // for set
  // Where the step was written, e.g. "steps[2].raise[0]", for messages.
  std::string where;

  // "t=3s raise ups1.QLT_0", "t=2.5s set temperature_1_value 41.5".
  std::string describe() const;
  void apply(ItemStore& store) const;
};

class Scenario {
 public:
  // Throw FileConfigError naming the source and the key that is wrong.
  static Scenario from_json(const Json::Value& root, const std::string& source);
  static Scenario load(const std::string& path);

  // `where` tells messages where the step was written.
  void add(std::chrono::milliseconds at, StepAction action, const std::string& point,
           float value = 0, const std::string& where = "");
  // Throws FileConfigError "<source>: <step>: unknown point ..." for the first
  // point the unit does not have.
  void check(const Composition& c) const;

  // In time order; steps at the same time keep the order they were written in.
  const std::vector<ScenarioStep>& steps() const { return steps_; }
  bool empty() const { return steps_.empty(); }
  const std::string& source() const { return source_; }

 private:
  std::string source_ = "scenario";
  std::vector<ScenarioStep> steps_;
};

}  // namespace qltsim
