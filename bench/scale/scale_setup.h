// What a scale run is told, and what it measured over its window.
#pragma once

#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "bench/support/device_json.h"
#include "bench/support/options.h"
#include "bench/support/proc_sample.h"

namespace qltbench {

struct ScaleSetup {
  int units = 0;
  // "kpl-host", or "floor" for qlt-scale-floor in its place.
  std::string client = "kpl-host";
  std::string kpl_host, plugin, unit_sim, floor, work;
  Blocks blocks;
  int poll_ms = 1000;
  int warmup_s = 10;
  int window_s = 30;
  // CPUs for the simulated units and for the client; empty: any.
  std::string sim_cpus, client_cpus;
  // Above 0: kpl-host serves its status endpoint, and /metrics is fetched
  // every this many seconds through the window, as a Prometheus would.
  int scrape_s = 0;
};

// Throws std::invalid_argument for a setup that cannot run.
ScaleSetup scale_setup(const Options& opt);

// The measured window: whole wall-clock seconds [from, to), and the client
// and simulator sampled at both ends.
struct Window {
  std::time_t from = 0, to = 0;
  double seconds = 0;
  ProcSample client0, client1, sim0, sim1;
  // kpl-host's rounds per device at both ends.
  std::map<unsigned int, long> rounds0, rounds1;
  // How long each /metrics fetch took, and the size of the last.
  std::vector<double> scrape_ms;
  size_t metrics_bytes = 0;
};

}  // namespace qltbench
