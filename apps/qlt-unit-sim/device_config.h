// The program's configuration file: the host's own device list, one unit
// per device entry,
//
//   {"poll_interval_ms": 1000,
//    "devices": [{"device_number": 7, "data_id": 107, "ip": "127.0.0.1", "port": 1502,
//                 "addr": 1, "appSetting": {"ups": 1, "ac": 1},
//                 "sim": {"scenario": "scenario.json", "vary": true, "faults": [...]}}]}
//
// Only device_number, port, addr (the unit identifier it answers to, 1 when
// absent), appSetting and sim matter here; every unit listens on 127.0.0.1
// whatever "ip" says.
#pragma once

#include <string>
#include <vector>

#include "apps/qlt-unit-sim/unit_config.h"

namespace qltsim {

// Throws ConfigError with a message naming the file, the key and what was
// expected.
std::vector<UnitConfig> load_devices(const std::string& path);

}  // namespace qltsim
