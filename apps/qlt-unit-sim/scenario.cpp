#include "apps/qlt-unit-sim/scenario.h"

#include <algorithm>
#include <cstdio>

#include "apps/qlt-unit-sim/json_read.h"

namespace qltsim {

namespace {

constexpr double max_at_s = 1e7;

std::string number_text(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

const char* action_name(StepAction a) {
  switch (a) {
    case StepAction::set:
      return "set";
    case StepAction::raise:
      return "raise";
    case StepAction::clear:
      return "clear";
  }
  return "?";
}

// The "raise" or "clear" list of a step.
void read_names(Scenario& s, std::chrono::milliseconds at, StepAction action,
                const Json::Value& list, const std::string& key) {
  if (!list.isArray()) throw_expected(key, "an array of point names", list);
  for (Json::ArrayIndex i = 0; i < list.size(); ++i) {
    const std::string item_key = key + "[" + std::to_string(i) + "]";
    s.add(at, action, json_string(list[i], item_key), 0, item_key);
  }
}

void read_step(Scenario& s, const Json::Value& step, const std::string& where) {
  if (!step.isObject()) throw_expected(where, "a step object", step);
  for (const std::string& key : step.getMemberNames())
    if (key != "at_s" && key != "set" && key != "raise" && key != "clear")
      throw ConfigError(where + "." + key + ": not a step setting (at_s, set, raise, clear)");
  if (!step.isMember("at_s")) throw ConfigError(where + ".at_s: missing");
  const double at_s = json_number(step["at_s"], where + ".at_s", 0);
  if (at_s < 0 || at_s > max_at_s) throw_expected(where + ".at_s", "seconds from 0", step["at_s"]);
  const std::chrono::milliseconds at(static_cast<long long>(at_s * 1000.0 + 0.5));

  const Json::Value& set = step["set"];
  if (!set.isNull() && !set.isObject()) throw_expected(where + ".set", "an object of values", set);
  for (const std::string& name : set.getMemberNames()) {
    const std::string key = where + ".set." + name;
    s.add(at, StepAction::set, name, static_cast<float>(json_number(set[name], key, 0)), key);
  }
  if (step.isMember("raise")) read_names(s, at, StepAction::raise, step["raise"], where + ".raise");
  if (step.isMember("clear")) read_names(s, at, StepAction::clear, step["clear"], where + ".clear");
}

}  // namespace

std::string ScenarioStep::describe() const {
  std::string text = "t=" + number_text(static_cast<double>(at.count()) / 1000.0) + "s " +
                     action_name(action) + " " + point;
  if (action == StepAction::set) text += " " + number_text(value);
  return text;
}

void ScenarioStep::apply(ItemStore& store) const {
  switch (action) {
    case StepAction::set:
      store.set(point, value);
      break;
    case StepAction::raise:
      store.raise(point);
      break;
    case StepAction::clear:
      store.clear(point);
      break;
  }
}

Scenario Scenario::from_json(const Json::Value& root, const std::string& source) {
  Scenario s;
  s.source_ = source;
  try {
    if (!root.isObject()) throw_expected("(top)", "an object with \"steps\"", root);
    const Json::Value& steps = root["steps"];
    if (!steps.isArray()) throw_expected("steps", "an array of steps", steps);
    for (Json::ArrayIndex i = 0; i < steps.size(); ++i)
      read_step(s, steps[i], "steps[" + std::to_string(i) + "]");
  } catch (const ConfigError& e) {
    throw FileConfigError(source + ": " + e.what());
  }
  return s;
}

Scenario Scenario::load(const std::string& path) { return from_json(read_json_file(path), path); }

void Scenario::add(std::chrono::milliseconds at, StepAction action, const std::string& point,
                   float value, const std::string& where) {
  const auto later =
      std::upper_bound(steps_.begin(), steps_.end(), at,
                       [](std::chrono::milliseconds t, const ScenarioStep& x) { return t < x.at; });
  steps_.insert(later, ScenarioStep{at, action, point, value, where});
}

void Scenario::check(const Composition& c) const {
  for (const ScenarioStep& s : steps_) {
    try {
      const PointRef p = resolve_point(c, s.point);
      if (s.action != StepAction::set && !p.is_alarm)
        throw PointError("'" + s.point + "' is not an alarm point; only alarm points are " +
                         "raised or cleared");
    } catch (const PointError& e) {
      const std::string step = s.where.empty() ? s.describe() : s.where;
      throw FileConfigError(source_ + ": " + step + ": " + e.what());
    }
  }
}

}  // namespace qltsim
