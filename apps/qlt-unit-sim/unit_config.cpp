#include "apps/qlt-unit-sim/unit_config.h"

#include "apps/qlt-unit-sim/fault_json.h"
#include "apps/qlt-unit-sim/json_read.h"

namespace qltsim {

namespace {

// A path as seen from the folder of `config_path`.
std::string beside(const std::string& config_path, const std::string& path) {
  const auto slash = config_path.find_last_of('/');
  if (path.empty() || path[0] == '/' || slash == std::string::npos) return path;
  return config_path.substr(0, slash + 1) + path;
}

}  // namespace

void read_sim_settings(const Json::Value& sim, const std::string& where,
                       const std::string& config_path, UnitConfig& cfg) {
  if (sim.isNull()) return;
  if (!sim.isObject()) throw_expected(where, "an object", sim);
  for (const std::string& key : sim.getMemberNames())
    if (key != "vary" && key != "scenario" && key != "faults")
      throw ConfigError(where + "." + key + ": not a simulator setting (vary, scenario, faults)");

  cfg.vary = json_bool(sim["vary"], where + ".vary", cfg.vary);
  cfg.faults = faults_from_json(sim["faults"], where + ".faults");
  const Json::Value& scenario = sim["scenario"];
  if (scenario.isString())
    cfg.scenario = Scenario::load(beside(config_path, scenario.asString()));
  else if (scenario.isObject())
    cfg.scenario = Scenario::from_json(scenario, config_path + ": " + where + ".scenario");
  else if (!scenario.isNull())
    throw_expected(where + ".scenario", "a file name or a scenario object", scenario);
}

}  // namespace qltsim
