// The files of a run of many simulated units: the simulated units' config (every unit on an
// ephemeral port), the ports they took, and the host's config naming them.
#pragma once

#include <map>
#include <string>

#include "bench/support/device_json.h"

namespace qltbench {

// Device numbers run from 1 to units.
void write_unit_config(const std::string& path, int units, Blocks blocks);
// The ports file qlt-unit-sim writes: "device_number port" lines. Empty
// until the file is there whole.
std::map<unsigned int, unsigned short> read_ports(const std::string& path);
void write_host_config(const std::string& path, const std::map<unsigned int, unsigned short>& ports,
                       Blocks blocks, int poll_interval_ms);

}  // namespace qltbench
