// qlt-pass-latency: the time of a pass against one simulated unit on
// loopback, through the reference host's pieces and the plug-in, against the
// floor (a blocking-socket client sending the same requests) and libmodbus
// (sending the same requests raw).
//
//   qlt-pass-latency --port P --plugin PATH [--ups N] [--passes N] [--block N]
//                    [--gap-us G] [--history FILE]

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/latency/contender.h"
#include "bench/latency/pass_client.h"
#include "bench/latency/plugin_host.h"
#include "bench/support/device_json.h"
#include "bench/support/options.h"
#include "model/qlt_model.h"

namespace {

using namespace std::chrono;

std::vector<double> client_pass(qltbench::PassClient& client,
                                const std::vector<rdu_read>& requests) {
  const auto t0 = steady_clock::now();
  if (!client.pass(requests)) throw std::runtime_error("a pass failed");
  return {duration<double, std::micro>(steady_clock::now() - t0).count()};
}

std::vector<double> host_pass(qltbench::PluginHost& host) {
  const auto t = host.pass(seconds(5));
  if (!t.ok) throw std::runtime_error("a pass through the host failed");
  return {duration<double, std::micro>(t.image).count(),
          duration<double, std::micro>(t.published).count()};
}

int compare(const qltbench::Options& opt) {
  const int port = opt.number("--port", 0), ups = opt.number("--ups", 1);
  const std::string plugin = opt.text("--plugin");
  qltbench::Schedule schedule;
  schedule.passes = opt.number("--passes", schedule.passes);
  schedule.block = opt.number("--block", schedule.block);
  schedule.gap = microseconds(opt.number("--gap-us", 2000));
  if (port < 1 || port > 65535 || plugin.empty())
    throw std::invalid_argument("--port and --plugin are required");
  if (ups < 1 || schedule.passes < 1 || schedule.block < 1 || schedule.gap.count() < 0)
    throw std::invalid_argument("counts must be positive");

  const Json::Value entry = qltbench::device_json(1, {ups, 0}, static_cast<unsigned short>(port));
  // The plug-in's own request plan, from the same code as the library.
  QLTModel planner;
  planner.Init({}, 1, entry);
  const std::vector<rdu_read> requests = planner.requests;

  auto floor = qltbench::make_floor_client(static_cast<unsigned short>(port));
  auto modbus = qltbench::make_modbus_client(static_cast<unsigned short>(port));
  qltbench::PluginHost host(plugin, entry, opt.text("--history", "qlt-pass-latency.db"));
  if (!host.wait_connected(seconds(5))) throw std::runtime_error("the host did not connect");

  std::vector<qltbench::Contender> contenders;
  contenders.emplace_back("floor (blocking socket)", std::vector<std::string>{""},
                          [&] { return client_pass(*floor, requests); });
  if (modbus)
    contenders.emplace_back("libmodbus (raw requests)", std::vector<std::string>{""},
                            [&] { return client_pass(*modbus, requests); });
  contenders.emplace_back("host + plug-in", std::vector<std::string>{"image complete", "published"},
                          [&] { return host_pass(host); });
  qltbench::take_turns(contenders, schedule);

  std::printf(
      "pass latency: %d UPS, %zu requests a pass, %d passes per client in blocks of %d, "
      "%lld us apart\n",
      ups, requests.size(), schedule.passes, schedule.block,
      static_cast<long long>(schedule.gap.count()));
  if (!modbus) std::printf("(built without libmodbus: no libmodbus figures)\n");
  qltbench::print_tables(contenders);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return qltbench::run_program(
      argc, argv, 1,
      {"--port", "--plugin", "--history", "--ups", "--passes", "--block", "--gap-us"},
      "qlt-pass-latency",
      "qlt-pass-latency --port P --plugin PATH [--ups N] [--passes N] [--block N] [--gap-us G] "
      "[--history FILE]",
      compare);
}
