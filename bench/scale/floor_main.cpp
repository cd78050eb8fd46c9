// qlt-scale-floor: the floor of polling many units (see floor_poller.h), run
// by qlt-scale in place of kpl-host. Writes "device_number second" for every
// completed pass when it stops.
//
//   qlt-scale-floor --ports FILE --passes-file FILE --duration-s S
//                   [--ups N] [--ac N] [--poll-ms MS]

#include <chrono>
#include <fstream>
#include <stdexcept>

#include "bench/scale/floor_poller.h"
#include "bench/support/options.h"
#include "bench/support/unit_files.h"
#include "model/qlt_model.h"

namespace {

int poll(const qltbench::Options& opt) {
  const qltbench::Blocks blocks{opt.number("--ups", 1), opt.number("--ac", 1)};
  const int duration_s = opt.number("--duration-s", 0), poll_ms = opt.number("--poll-ms", 1000);
  const std::string out = opt.text("--passes-file");
  if (duration_s < 1 || poll_ms < 10 || out.empty() || !opt.has("--ports"))
    throw std::invalid_argument("--ports, --passes-file and --duration-s are required");

  // The plug-in's own request plan, as the host's device would send it.
  QLTModel planner;
  planner.Init({}, 1, qltbench::device_json(1, blocks, 1502));
  std::vector<qltbench::PolledUnit> units;
  for (const auto& [device, port] : qltbench::read_ports(opt.text("--ports")))
    units.push_back({device, port});
  if (units.empty()) throw std::runtime_error("no units in " + opt.text("--ports"));

  qltbench::FloorPoller poller(units, planner.requests, std::chrono::milliseconds(poll_ms));
  poller.run_until(std::chrono::steady_clock::now() + std::chrono::seconds(duration_s));
  std::ofstream file(out);
  for (const auto& [device, second] : poller.passes()) file << device << " " << second << "\n";
  return file.flush() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  return qltbench::run_program(
      argc, argv, 1, {"--ports", "--passes-file", "--duration-s", "--ups", "--ac", "--poll-ms"},
      "qlt-scale-floor",
      "qlt-scale-floor --ports FILE --passes-file FILE --duration-s S [--ups N] [--ac N] "
      "[--poll-ms MS]",
      poll);
}
