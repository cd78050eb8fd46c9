// Rounds completed per device in a window of whole seconds, as the host's
// history database records them (one row per round, stamped with the local
// time to the second) or as qlt-scale-floor lists them.
#pragma once

#include <ctime>
#include <map>
#include <string>

namespace qltbench {

// Rows per device number saved in [from, to). Throws std::runtime_error
// when the database cannot be read.
std::map<unsigned int, long> rows_per_device(const std::string& db_path, std::time_t from,
                                             std::time_t to);

// Passes per device number that qlt-scale-floor listed ("device second"
// lines) in [from, to).
std::map<unsigned int, long> passes_per_device(const std::string& passes_path, std::time_t from,
                                               std::time_t to);

// "2026-12-08 17:05:09", local time, as the host stamps rows.
std::string local_time_text(std::time_t t);

}  // namespace qltbench
