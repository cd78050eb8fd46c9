// The fields of an alarm change as JSON, written the same way wherever it
// goes (the event stream, the broker): after "state", the round, then the
// alarm point's id, code, text and block label, or the analogue point's
// name, text, value and the limits it crossed, then its number.
#pragma once

#include <string>

#include "apps/kpl-host/core/host_events.h"

namespace kplhost {

// The alarm id under which the host reports a device's communication loss.
inline constexpr const char* communication_lost_id = "communication_lost";

// Appends ,"state":...,"number":N to an object under construction.
void append_alarm_change(std::string& out, const AlarmChange& change, long round);
// Appends ,"state":...,"id":"communication_lost","desc":...
void append_communication_change(std::string& out, bool lost, const std::string& detail);

}  // namespace kplhost
