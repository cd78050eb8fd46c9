// Everything a unit is set up with before it starts.
#pragma once

#include <json/value.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "apps/qlt-unit-sim/clock.h"
#include "apps/qlt-unit-sim/composition.h"
#include "apps/qlt-unit-sim/fault.h"
#include "apps/qlt-unit-sim/scenario.h"

namespace qltsim {

struct UnitConfig {
  Composition composition;
  // Let analogue defaults wobble slowly; off, every item holds its value.
  bool vary = true;
  Scenario scenario;
  std::vector<Fault> faults;
  // Loopback addresses only; port 0 takes an ephemeral port.
  std::string bind_address = "127.0.0.1";
  unsigned short port = 0;
  // The unit identifier it answers to; a request for any other is read and
  // counted but never answered, as by a serial unit behind a gateway.
  std::uint8_t unit_id = 1;
  // Time since the unit's start; none gives real time from add_unit.
  std::shared_ptr<Clock> clock;
  // Told of each scenario step as it fires, on whichever thread fired it.
  std::function<void(const ScenarioStep&)> on_step;
  // For messages only.
  int device_number = 0;
};

// Reads the "sim" object of a device entry in config_path: "vary",
// "scenario" (a file, relative to the config's folder, or the scenario
// object itself) and "faults". Throws ConfigError with keys below `where`,
// or FileConfigError for a scenario.
void read_sim_settings(const Json::Value& sim, const std::string& where,
                       const std::string& config_path, UnitConfig& cfg);

}  // namespace qltsim
