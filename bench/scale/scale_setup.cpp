#include "bench/scale/scale_setup.h"

#include <stdexcept>

namespace qltbench {

ScaleSetup scale_setup(const Options& opt) {
  ScaleSetup s;
  s.units = opt.number("--units", 0);
  s.client = opt.text("--client", s.client);
  s.kpl_host = opt.text("--kpl-host");
  s.plugin = opt.text("--plugin");
  s.unit_sim = opt.text("--unit-sim");
  s.floor = opt.text("--floor");
  s.work = opt.text("--work");
  s.blocks = {opt.number("--ups", 1), opt.number("--ac", 1)};
  s.poll_ms = opt.number("--poll-ms", s.poll_ms);
  s.warmup_s = opt.number("--warmup-s", s.warmup_s);
  s.window_s = opt.number("--window-s", s.window_s);
  s.sim_cpus = opt.text("--sim-cpus");
  s.client_cpus = opt.text("--client-cpus");
  s.scrape_s = opt.number("--scrape-s", 0);
  if (s.unit_sim.empty() || s.work.empty())
    throw std::invalid_argument("--unit-sim and --work are required");
  if (s.client == "kpl-host" ? s.kpl_host.empty() || s.plugin.empty()
                             : s.client != "floor" || s.floor.empty())
    throw std::invalid_argument(
        "--client kpl-host needs --kpl-host and --plugin, --client floor needs --floor");
  if (s.units < 1 || s.poll_ms < 10 || s.warmup_s < 1 || s.window_s < 1)
    throw std::invalid_argument("--units, --poll-ms, --warmup-s or --window-s out of range");
  return s;
}

}  // namespace qltbench
