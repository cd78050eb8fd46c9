// qlt-scale: one kpl-host (or, for comparison, the floor poller) polling N
// simulated units, served by one qlt-unit-sim process, for a warm-up and then
// a measured window of whole seconds. Prints the rounds completed in the
// window against the rounds due, the client's CPU in all, per thread and per
// round, and its resident memory per device. Both programs are started with
// a duration, so they stop by themselves; the harness ends them by their
// process ids if they overrun.
//
//   qlt-scale --units N --unit-sim PATH --work DIR
//             [--client kpl-host --kpl-host PATH --plugin PATH | --client floor --floor PATH]
//             [--ups N] [--ac N] [--poll-ms MS] [--warmup-s S] [--window-s S]
//             [--sim-cpus LIST] [--client-cpus LIST] [--scrape-s S]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/scale/cpu_pin.h"
#include "bench/scale/round_counts.h"
#include "bench/scale/scale_report.h"
#include "bench/scale/scale_setup.h"
#include "bench/support/unit_files.h"
#include "testkit/http_client.h"
#include "testkit/process.h"

namespace {

using namespace std::chrono;
using qltbench::ScaleSetup;

// Sleeps until the wall clock enters the second after `after`; returns it.
std::time_t next_second(std::time_t after) {
  while (std::time(nullptr) <= after) std::this_thread::sleep_for(milliseconds(2));
  return std::time(nullptr);
}

std::map<unsigned int, unsigned short> wait_for_ports(const std::string& path, int units,
                                                      Process& sim) {
  std::map<unsigned int, unsigned short> ports;
  eventually(
      [&] {
        ports = qltbench::read_ports(path);
        return static_cast<int>(ports.size()) == units || sim.exited();
      },
      seconds(60));
  if (static_cast<int>(ports.size()) != units)
    throw std::runtime_error("the simulated units did not all listen");
  return ports;
}

// kpl-host's output: devices connected at the end and reconnects, from the
// final status lines, and the passes the plug-in abandoned for want of a reply.
void status_counts(const std::string& log, int& connected, long& reconnects, long& timeouts) {
  std::ifstream in(log);
  std::string line;
  connected = 0;
  reconnects = 0;
  timeouts = 0;
  while (std::getline(in, line)) {
    if (line.find("RefreshStatus reply timeout") != std::string::npos) ++timeouts;
    const size_t at = line.find(" status: ");
    if (at == std::string::npos || line.find(", connected, ", at) == std::string::npos) continue;
    ++connected;
    const size_t r = line.find(" rounds, ", at);
    if (r != std::string::npos) reconnects += std::atol(line.c_str() + r + 9);
  }
}

std::vector<std::string> client_args(const ScaleSetup& o, int run_s) {
  const std::string& w = o.work;
  if (o.client == "floor")
    return {"--ports",       w + "/ports",
            "--passes-file", w + "/passes",
            "--duration-s",  std::to_string(run_s),
            "--ups",         std::to_string(o.blocks.ups),
            "--ac",          std::to_string(o.blocks.ac),
            "--poll-ms",     std::to_string(o.poll_ms)};
  // The rounds are counted from /api/devices, at both ends of the window.
  return {"--plugin",  o.plugin,          "--config",     w + "/host.json",
          "--history", w + "/history.db", "--duration-s", std::to_string(run_s),
          "--http",    "127.0.0.1:0",     "--quiet"};
}

// The port of kpl-host's status endpoint, once it says where it listens.
unsigned short status_port(Process& client) {
  const std::string mark = "status page http://127.0.0.1:";
  unsigned short port = 0;
  eventually(
      [&] {
        const std::string out = client.out();
        const size_t at = out.find(mark);
        if (at != std::string::npos)
          port = static_cast<unsigned short>(std::stoi(out.substr(at + mark.size())));
        return port != 0;
      },
      seconds(30));
  if (port == 0) throw std::runtime_error("kpl-host did not say where its status page is");
  return port;
}

// Fetches /metrics every scrape_s seconds until `until`, timing each fetch
// (the host renders the text on its I/O thread, then sends it).
void scrape(const ScaleSetup& o, unsigned short port, steady_clock::time_point until,
            qltbench::Window& w) {
  while (steady_clock::now() < until) {
    const auto t0 = steady_clock::now();
    const HttpAnswer a = http_request(port, "/metrics");
    w.scrape_ms.push_back(duration<double, std::milli>(steady_clock::now() - t0).count());
    w.metrics_bytes = a.body.size();
    std::this_thread::sleep_until(t0 + seconds(o.scrape_s));
  }
}

qltbench::Window measure(const ScaleSetup& o, Process& client, Process& sim) {
  qltbench::Window w;
  const bool host = o.client != "floor";
  const unsigned short port = host ? status_port(client) : 0;
  std::thread scraper;
  if (o.scrape_s > 0)
    scraper = std::thread(
        [&] { scrape(o, port, steady_clock::now() + seconds(o.warmup_s + o.window_s), w); });
  std::this_thread::sleep_for(seconds(o.warmup_s));
  w.from = next_second(std::time(nullptr));
  const auto t0 = steady_clock::now();
  if (host) w.rounds0 = qltbench::rounds_per_device(http_request(port, "/api/devices").body);
  w.client0 = qltbench::sample_process(client.pid());
  w.sim0 = qltbench::sample_process(sim.pid());
  w.to = next_second(w.from + o.window_s - 1);
  if (host) w.rounds1 = qltbench::rounds_per_device(http_request(port, "/api/devices").body);
  w.client1 = qltbench::sample_process(client.pid());
  w.sim1 = qltbench::sample_process(sim.pid());
  w.seconds = duration<double>(steady_clock::now() - t0).count();
  if (scraper.joinable()) scraper.join();
  return w;
}

int run(const ScaleSetup& o) {
  const std::string ports = o.work + "/ports", history = o.work + "/history.db";
  std::remove(ports.c_str());
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((history + suffix).c_str());
  qltbench::write_unit_config(o.work + "/units.json", o.units, o.blocks);

  const int run_s = o.warmup_s + o.window_s + 3;
  std::unique_ptr<Process> sim, client;
  qltbench::on_cpus(o.sim_cpus, [&] {
    sim = std::make_unique<Process>(
        o.unit_sim,
        std::vector<std::string>{"--config", o.work + "/units.json", "--ports-file", ports,
                                 "--duration-s", std::to_string(run_s + 60), "--quiet"},
        ProcessOutput{o.work + "/sim.log", ""});
  });
  qltbench::write_host_config(o.work + "/host.json", wait_for_ports(ports, o.units, *sim), o.blocks,
                              o.poll_ms);
  qltbench::on_cpus(o.client_cpus, [&] {
    client =
        std::make_unique<Process>(o.client == "floor" ? o.floor : o.kpl_host, client_args(o, run_s),
                                  ProcessOutput{o.work + "/client.log", ""});
  });

  // Each stops by itself; one that overruns is asked to stop, then killed.
  const qltbench::Window w = measure(o, *client, *sim);
  const int status =
      client->ends_within(seconds(run_s + 30)) ? client->status() : client->stop(seconds(2));
  sim->stop(seconds(2));
  if (status != 0)
    throw std::runtime_error(o.client + " ended with status " + std::to_string(status));
  qltbench::ClientStatus st;
  if (o.client == "floor") {
    qltbench::print_scale_report(o, qltbench::passes_per_device(o.work + "/passes", w.from, w.to),
                                 w, st);
    return 0;
  }
  status_counts(o.work + "/client.log", st.connected, st.reconnects, st.timeouts);
  qltbench::print_scale_report(o, qltbench::rounds_between(w.rounds0, w.rounds1), w, st);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return qltbench::run_program(
      argc, argv, 1,
      {"--units", "--client", "--kpl-host", "--plugin", "--unit-sim", "--floor", "--work", "--ups",
       "--ac", "--poll-ms", "--warmup-s", "--window-s", "--sim-cpus", "--client-cpus",
       "--scrape-s"},
      "qlt-scale",
      "qlt-scale --units N --unit-sim PATH --work DIR [--client kpl-host --kpl-host PATH "
      "--plugin PATH | --client floor --floor PATH] [--ups N] [--ac N] [--poll-ms MS] "
      "[--warmup-s S] [--window-s S] [--sim-cpus LIST] [--client-cpus LIST] [--scrape-s S]",
      [](const qltbench::Options& opt) { return run(qltbench::scale_setup(opt)); });
}
