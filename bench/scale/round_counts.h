// Rounds completed per device in a window: as kpl-host counts them in
// /api/devices ("rounds"), read at both ends of the window, or as
// qlt-scale-floor lists them.
#pragma once

#include <ctime>
#include <map>
#include <string>

namespace qltbench {

// Rounds per device number in an answer of /api/devices. Throws
// std::invalid_argument when it is not one.
std::map<unsigned int, long> rounds_per_device(const std::string& devices_json);

// Rounds per device number between two such counts.
std::map<unsigned int, long> rounds_between(const std::map<unsigned int, long>& before,
                                            const std::map<unsigned int, long>& after);

// Passes per device number that qlt-scale-floor listed ("device second"
// lines) in [from, to).
std::map<unsigned int, long> passes_per_device(const std::string& passes_path, std::time_t from,
                                               std::time_t to);

}  // namespace qltbench
