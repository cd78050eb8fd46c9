// qlt-unit-sim: serves the simulated units of a host configuration file
// until SIGINT, SIGTERM or the end of --duration-s.

#include <signal.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>

#include "apps/qlt-unit-sim/device_config.h"
#include "apps/qlt-unit-sim/json_read.h"
#include "apps/qlt-unit-sim/simulator.h"

namespace {

constexpr const char* usage =
    "usage: qlt-unit-sim --config FILE [--duration-s S] [--ports-file FILE] [--steps-file FILE]\n"
    "                    [--quiet]\n"
    "  --config FILE      the host's configuration: one unit per device entry\n"
    "  --duration-s S     stop after S seconds (default: run until SIGINT or SIGTERM)\n"
    "  --ports-file FILE  write \"device_number port\" for each unit once all listen\n"
    "  --steps-file FILE  write \"unix_ms device_number step\" as each scenario step fires\n"
    "  --quiet            do not report scenario steps as they fire\n";

struct Options {
  std::string config;
  std::optional<double> duration_s;
  std::string ports_file;
  std::string steps_file;
  bool quiet = false;
};

std::mutex out_mutex;

void say(const std::string& line) {
  std::lock_guard<std::mutex> lock(out_mutex);
  std::cout << "qlt-unit-sim: " << line << std::endl;
}

int fail(int status, const std::string& why) {
  std::lock_guard<std::mutex> lock(out_mutex);
  std::cerr << "qlt-unit-sim: " << why << "\n";
  return status;
}

std::optional<Options> parse_args(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--quiet") {
      o.quiet = true;
    } else if (arg == "--config" && has_value) {
      o.config = argv[++i];
    } else if (arg == "--ports-file" && has_value) {
      o.ports_file = argv[++i];
    } else if (arg == "--steps-file" && has_value) {
      o.steps_file = argv[++i];
    } else if (arg == "--duration-s" && has_value) {
      char* end = nullptr;
      const double s = std::strtod(argv[++i], &end);
      if (end == argv[i] || *end != '\0' || !(s >= 0 && s <= 1e9)) return std::nullopt;
      o.duration_s = s;
    } else {
      return std::nullopt;
    }
  }
  if (o.config.empty()) return std::nullopt;
  return o;
}

std::string composition_text(const qltsim::Unit& u) {
  const qltsim::Composition& c = u.composition();
  std::string text = "ups " + std::to_string(c.ups);
  const std::pair<const char*, int> pdus[] = {
      {"pdu_type_1", c.pdu_type_1}, {"pdu_type_2", c.pdu_type_2}, {"pdu_type_3", c.pdu_type_3}};
  for (const auto& [name, n] : pdus)
    if (n != 0) text += std::string(", ") + name + " " + std::to_string(n);
  return text + ", ac " + std::to_string(c.ac) + ", " + std::to_string(u.item_count()) + " items";
}

// Written whole under another name first, so a script never reads half of it.
bool write_ports_file(const std::string& path, qltsim::Simulator& sim) {
  const std::string part = path + ".part";
  {
    std::ofstream out(part);
    for (std::size_t i = 0; i < sim.size(); ++i)
      out << sim.unit(i).device_number() << " " << sim.unit(i).port() << "\n";
    if (!out.flush()) return false;
  }
  return std::rename(part.c_str(), path.c_str()) == 0;
}

// Waits for SIGINT or SIGTERM, or until the duration runs out.
void wait_for_end(const sigset_t& stop_signals, std::optional<double> duration_s) {
  if (!duration_s) {
    int sig = 0;
    sigwait(&stop_signals, &sig);
    return;
  }
  using namespace std::chrono;
  const auto deadline =
      steady_clock::now() + duration_cast<nanoseconds>(duration<double>(*duration_s));
  for (;;) {
    const long long ns = duration_cast<nanoseconds>(deadline - steady_clock::now()).count();
    if (ns <= 0) return;
    const timespec left{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    // A signal or the timeout ends the wait; anything else interrupting it does not.
    if (sigtimedwait(&stop_signals, nullptr, &left) >= 0 || errno != EINTR) return;
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") {
      std::cout << usage;
      return 0;
    }
  }
  const std::optional<Options> opt = parse_args(argc, argv);
  if (!opt) {
    std::cerr << usage;
    return 2;
  }

  std::vector<qltsim::UnitConfig> units;
  try {
    units = qltsim::load_devices(opt->config);
  } catch (const qltsim::ConfigError& e) {
    return fail(2, e.what());
  }

  // Blocked before the io thread starts, so that only sigwait sees them.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  // When each step fired, to the millisecond, for measurements of how long
  // a change takes to reach whoever watches the unit.
  std::ofstream steps;
  std::mutex steps_lock;
  if (!opt->steps_file.empty()) {
    steps.open(opt->steps_file);
    if (!steps) return fail(1, opt->steps_file + ": cannot be written: " + std::strerror(errno));
  }
  qltsim::Simulator sim;
  for (qltsim::UnitConfig& cfg : units) {
    const int device = cfg.device_number;
    const bool quiet = opt->quiet;
    const bool log_steps = steps.is_open();
    cfg.on_step = [device, quiet, log_steps, &steps, &steps_lock](const qltsim::ScenarioStep& s) {
      if (log_steps) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::system_clock::now().time_since_epoch());
        std::lock_guard<std::mutex> g(steps_lock);
        steps << ms.count() << " " << device << " " << s.describe() << std::endl;
      }
      if (!quiet) say("device " + std::to_string(device) + " " + s.describe());
    };
    const std::string where = cfg.bind_address + ":" + std::to_string(cfg.port);
    try {
      sim.add_unit(std::move(cfg));
    } catch (const std::exception& e) {
      return fail(
          1, "device " + std::to_string(device) + ": cannot listen on " + where + ": " + e.what());
    }
  }
  for (std::size_t i = 0; i < sim.size(); ++i) {
    const qltsim::Unit& u = sim.unit(i);
    say("device " + std::to_string(u.device_number()) +
        " listening on 127.0.0.1:" + std::to_string(u.port()) + " (" + composition_text(u) + ")");
  }
  if (!opt->ports_file.empty() && !write_ports_file(opt->ports_file, sim))
    return fail(1, opt->ports_file + ": cannot be written: " + std::strerror(errno));

  sim.start();
  wait_for_end(stop_signals, opt->duration_s);
  sim.stop();
  return 0;
}
