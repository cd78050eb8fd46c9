// The wall-clock time as event lines carry it: ISO 8601 with milliseconds
// and the local offset, "2026-12-09T15:04:05.123+01:00", so that a line read
// after an incident says when it was made, whatever the reader's time zone.
#pragma once

#include <chrono>
#include <string>

namespace kplhost {

std::string iso8601_time(
    std::chrono::system_clock::time_point t = std::chrono::system_clock::now());

}  // namespace kplhost
