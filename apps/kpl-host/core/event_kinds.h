// The kinds of line the event stream holds. What an operator or a supervisor
// reads is written by default: alarm changes (points and communication
// loss) and their acknowledgements, links, device health, a device stopped, a configuration
// problem, the history's and the broker's state. The per-round trace (every value, every alarm
// state, every image, every round) is for diagnosis: at one round a second it is gigabytes a day,
// so it is written only when asked for.
#pragma once

#include <set>
#include <string>
#include <string_view>

namespace kplhost {

constexpr std::string_view operator_event_kinds[] = {"alarm",  "acknowledged", "link",   "device",
                                                     "health", "history",      "config", "mqtt"};
constexpr std::string_view trace_event_kinds[] = {"threshold", "alarm_point", "publish", "round"};

std::set<std::string> default_event_kinds();
std::set<std::string> every_event_kind();
// Adds the trace kinds to kinds.
void add_trace_kinds(std::set<std::string>& kinds);
// Adds the kinds of a comma-separated list; returns the problem (an unknown
// kind, with every known one), or empty.
std::string add_event_kinds(const std::string& list, std::set<std::string>& kinds);

}  // namespace kplhost
