// The figures of a scale run, printed.
#pragma once

#include <map>

#include "bench/scale/scale_setup.h"

namespace qltbench {

// What kpl-host's output tells; negative: not known (the floor poller).
struct ClientStatus {
  int connected = -1;
  long reconnects = -1;
  // Passes the plug-in abandoned because a reply was overdue.
  long timeouts = -1;
};

// rounds: per device, the rounds completed in the window.
void print_scale_report(const ScaleSetup& s, const std::map<unsigned int, long>& rounds,
                        const Window& w, const ClientStatus& status);

}  // namespace qltbench
