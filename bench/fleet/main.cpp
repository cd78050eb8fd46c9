// qlt-fleet: many kpl-host processes reporting to one MQTT broker, as a
// fleet of controllers does. One qlt-unit-sim serves every unit; each unit's
// scenario raises a mains alarm and clears it again, at times spread over
// the run; a subscriber on the broker takes every alarm change. Prints the
// broker's and the hosts' CPU, and the latency from the unit's change (the
// simulator's time stamp of the step) to the subscriber's receipt, against
// the bound of one poll interval, one pass and 100 ms.
//
//   qlt-fleet --kpl-host PATH --plugin PATH --unit-sim PATH --work DIR
//             [--hosts N] [--units-per-host N] [--poll-ms MS] [--window-s S]

#include <json/writer.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "bench/support/device_json.h"
#include "bench/support/options.h"
#include "bench/support/proc_sample.h"
#include "bench/support/unit_files.h"
#include "testkit/http_client.h"
#include "testkit/json_text.h"
#include "testkit/mqtt_peers.h"
#include "testkit/process.h"

namespace {

using namespace std::chrono;

struct Fleet {
  int hosts = 20, per_host = 50, poll_ms = 1000, window_s = 40;
  std::string kpl_host, plugin, unit_sim, work;
};

void write_json(const std::string& path, const Json::Value& doc) {
  std::ofstream(path) << Json::writeString(Json::StreamWriterBuilder(), doc);
}

// Unit i raises its mains alarm between 10 and 20 s into the run and clears
// it 8 s later, so that changes keep coming through the window.
void write_units(const Fleet& f) {
  Json::Value doc;
  const int units = f.hosts * f.per_host;
  for (int i = 1; i <= units; ++i) {
    Json::Value d = qltbench::device_json(static_cast<unsigned int>(i), {1, 1}, 0);
    const double at = 10 + 10.0 * (i % 100) / 100;
    Json::Value& steps = d["sim"]["scenario"]["steps"];
    steps[0]["at_s"] = at;
    steps[0]["raise"].append("ups1.QLT_0");
    steps[1]["at_s"] = at + 8;
    steps[1]["clear"].append("ups1.QLT_0");
    doc["devices"].append(d);
  }
  write_json(f.work + "/units.json", doc);
}

void write_hosts(const Fleet& f, const std::map<unsigned int, unsigned short>& ports,
                 unsigned short broker) {
  for (int h = 0; h < f.hosts; ++h) {
    Json::Value doc;
    doc["poll_interval_ms"] = f.poll_ms;
    doc["mqtt"]["host"] = "127.0.0.1";
    doc["mqtt"]["port"] = broker;
    doc["mqtt"]["client_id"] = "fleet-" + std::to_string(h);
    for (int k = 1; k <= f.per_host; ++k) {
      const unsigned int device = static_cast<unsigned int>(h * f.per_host + k);
      doc["devices"].append(qltbench::device_json(device, {1, 1}, ports.at(device)));
    }
    write_json(f.work + "/host-" + std::to_string(h) + ".json", doc);
  }
}

// "unix_ms device step" lines, for the raise and clear steps.
std::map<std::pair<unsigned int, std::string>, long long> step_times(const std::string& path) {
  std::map<std::pair<unsigned int, std::string>, long long> out;
  std::ifstream in(path);
  long long ms;
  unsigned int device;
  std::string rest;
  while (in >> ms >> device && std::getline(in, rest))
    out[{device, rest.find("clear") != std::string::npos ? "cleared" : "raised"}] = ms;
  return out;
}

double percentile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1,
                    static_cast<size_t>(q * static_cast<double>(v.size() - 1) + 0.5))];
}

int run(const qltbench::Options& opt) {
  Fleet f;
  f.hosts = opt.number("--hosts", f.hosts);
  f.per_host = opt.number("--units-per-host", f.per_host);
  f.poll_ms = opt.number("--poll-ms", f.poll_ms);
  f.window_s = opt.number("--window-s", f.window_s);
  f.kpl_host = opt.text("--kpl-host");
  f.plugin = opt.text("--plugin");
  f.unit_sim = opt.text("--unit-sim");
  f.work = opt.text("--work");
  if (f.kpl_host.empty() || f.plugin.empty() || f.unit_sim.empty() || f.work.empty())
    throw std::invalid_argument("--kpl-host, --plugin, --unit-sim and --work are required");

  MqttBroker broker(f.work, {});
  broker.start();
  MqttSubscriber sub(broker.port(), "kpl/#");
  write_units(f);
  const int run_s = f.window_s + 10;
  Process sim(
      f.unit_sim,
      {"--config", f.work + "/units.json", "--ports-file", f.work + "/ports", "--steps-file",
       f.work + "/steps", "--duration-s", std::to_string(run_s + 30), "--quiet"},
      ProcessOutput{f.work + "/sim.log", ""});
  const int units = f.hosts * f.per_host;
  std::map<unsigned int, unsigned short> ports;
  eventually(
      [&] {
        return static_cast<int>((ports = qltbench::read_ports(f.work + "/ports")).size()) == units;
      },
      seconds(60));
  if (static_cast<int>(ports.size()) != units)
    throw std::runtime_error("the units did not all listen");
  write_hosts(f, ports, broker.port());

  std::vector<std::unique_ptr<Process>> hosts;
  for (int h = 0; h < f.hosts; ++h) {
    const std::string n = std::to_string(h);
    std::vector<std::string> args = {"--plugin",     f.plugin,
                                     "--config",     f.work + "/host-" + n + ".json",
                                     "--history",    f.work + "/history-" + n + ".db",
                                     "--duration-s", std::to_string(run_s),
                                     "--quiet"};
    if (h == 0) args.insert(args.end(), {"--http", "127.0.0.1:0"});
    hosts.push_back(std::make_unique<Process>(f.kpl_host, args,
                                              ProcessOutput{f.work + "/host-" + n + ".log", ""}));
  }

  // The window: from the first changes to the last, with the CPU sampled at
  // both ends.
  std::this_thread::sleep_for(seconds(5));
  const auto t0 = steady_clock::now();
  std::vector<qltbench::ProcSample> before;
  for (auto& h : hosts) before.push_back(qltbench::sample_process(h->pid()));
  const qltbench::ProcSample broker0 = qltbench::sample_process(broker.pid());
  std::this_thread::sleep_for(seconds(f.window_s - 5));
  double hosts_cpu = 0;
  for (size_t i = 0; i < hosts.size(); ++i)
    hosts_cpu += qltbench::sample_process(hosts[i]->pid()).cpu_s - before[i].cpu_s;
  const double broker_cpu = qltbench::sample_process(broker.pid()).cpu_s - broker0.cpu_s;
  const double seconds_ = duration<double>(steady_clock::now() - t0).count();

  // The pass time, as the first host measured it.
  double pass_s = 0;
  const std::string mark = "status page http://127.0.0.1:";
  const std::string out = hosts[0]->out();
  const size_t at = out.find(mark);
  if (at != std::string::npos) {
    const auto port = static_cast<unsigned short>(std::stoi(out.substr(at + mark.size())));
    int n = 0;
    for (const Json::Value& d : json_of(http_request(port, "/api/devices").body)) {
      pass_s += d["pass_p99_s"].asDouble();
      ++n;
    }
    if (n) pass_s /= n;
  }

  const auto steps = step_times(f.work + "/steps");
  std::vector<double> latency_ms;
  std::map<std::pair<unsigned int, std::string>, bool> seen;
  for (const auto& m : sub.messages()) {
    if (m.topic.size() < 7 || m.topic.compare(m.topic.size() - 7, 7, "/alarms") != 0) continue;
    const Json::Value v = json_of(m.payload);
    const std::pair<unsigned int, std::string> key{v["device"].asUInt(), v["state"].asString()};
    if (v["id"] != "QLT_0" || seen[key]) continue;
    seen[key] = true;
    const auto s = steps.find(key);
    if (s == steps.end()) continue;
    latency_ms.push_back(static_cast<double>(
        duration_cast<milliseconds>(m.received.time_since_epoch()).count() - s->second));
  }
  for (auto& h : hosts) h->stop(seconds(10));
  sim.stop(seconds(5));

  const double bound_ms = f.poll_ms + 1000 * pass_s + 100;
  const long within =
      std::count_if(latency_ms.begin(), latency_ms.end(), [&](double l) { return l <= bound_ms; });
  std::printf(
      "fleet: %d kpl-host processes x %d units (1 UPS + 1 air conditioner each), one broker, "
      "polled every %d ms; window %.0f s\n",
      f.hosts, f.per_host, f.poll_ms, seconds_);
  std::printf("  CPU: broker %.1f%% of one core, the %d hosts together %.1f%% (%.1f%% each)\n",
              100 * broker_cpu / seconds_, f.hosts, 100 * hosts_cpu / seconds_,
              100 * hosts_cpu / seconds_ / f.hosts);
  std::printf("  alarm changes heard: %zu of %zu made\n", latency_ms.size(), steps.size());
  std::printf(
      "  latency from the unit's change to the subscriber: p50 %.0f ms, p99 %.0f ms, "
      "max %.0f ms\n",
      percentile(latency_ms, 0.5), percentile(latency_ms, 0.99), percentile(latency_ms, 1));
  std::printf(
      "  bound: poll %d ms + pass %.1f ms (p99) + 100 ms = %.0f ms; within it: %ld of %zu\n",
      f.poll_ms, 1000 * pass_s, bound_ms, within, latency_ms.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return qltbench::run_program(
      argc, argv, 1,
      {"--kpl-host", "--plugin", "--unit-sim", "--work", "--hosts", "--units-per-host", "--poll-ms",
       "--window-s"},
      "qlt-fleet",
      "qlt-fleet --kpl-host PATH --plugin PATH --unit-sim PATH --work DIR [--hosts N] "
      "[--units-per-host N] [--poll-ms MS] [--window-s S]",
      run);
}
