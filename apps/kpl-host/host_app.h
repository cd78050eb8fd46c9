// The reference host: loads a device plug-in, makes one device per
// configured unit, connects, polls, checks thresholds, publishes and keeps
// history until told to stop.
#pragma once

#include <set>
#include <string>

namespace kplhost {

struct HostOptions {
  std::string plugin;
  std::string config;
  std::string events;
  // Event kinds written to the event stream; empty: all of them.
  std::set<std::string> event_kinds;
  std::string history = "kpl-history.db";
  // Stop once every device has published this many images; 0: no limit.
  long rounds = 0;
  // Stop after this many seconds whatever happened; 0: no limit.
  double duration_s = 0;
  bool quiet = false;
};

// Runs the host; returns the process's exit status. Problems that keep it
// from starting are printed to standard error.
int run_host(const HostOptions& options);

}  // namespace kplhost
