#include "bench/latency/contender.h"

#include <cstdio>
#include <ctime>
#include <thread>

#include "bench/latency/pass_stats.h"

namespace qltbench {

namespace {

// The process's CPU time; glibc reads it from the process's CPU-time clock.
double process_cpu_us() { return static_cast<double>(std::clock()) * 1e6 / CLOCKS_PER_SEC; }

void print_header(const char* what) {
  std::printf("%-36s %8s %8s %8s %8s %7s\n", what, "median", "p10", "p90", "mean", "/first");
}

void print_row(const std::string& name, const PassStats& s, double first_median) {
  std::printf("%-36s %8.1f %8.1f %8.1f %8.1f %7.2f\n", name.c_str(), s.median_us, s.p10_us,
              s.p90_us, s.mean_us, s.median_us / first_median);
}

}  // namespace

Contender::Contender(std::string n, std::vector<std::string> s,
                     std::function<std::vector<double>()> r)
    : name(std::move(n)), series(std::move(s)), run(std::move(r)), micros(series.size()) {}

void Contender::measure() {
  const double cpu0 = process_cpu_us();
  const std::vector<double> us = run();
  cpu_micros.push_back(process_cpu_us() - cpu0);
  for (size_t k = 0; k < micros.size() && k < us.size(); ++k) micros[k].push_back(us[k]);
}

void take_turns(std::vector<Contender>& contenders, const Schedule& s) {
  for (Contender& c : contenders)
    for (int i = 0; i < s.warmup; ++i) {
      c.run();
      std::this_thread::sleep_for(s.gap);
    }
  for (int done = 0; done < s.passes; done += s.block)
    for (Contender& c : contenders)
      for (int i = 0; i < s.block && done + i < s.passes; ++i) {
        c.measure();
        std::this_thread::sleep_for(s.gap);
      }
}

void print_tables(const std::vector<Contender>& contenders) {
  if (contenders.empty()) return;
  print_header("pass time (microseconds)");
  const double first = summarize(contenders.front().micros.front()).median_us;
  for (const Contender& c : contenders)
    for (size_t k = 0; k < c.series.size(); ++k)
      print_row(c.name + (c.series[k].empty() ? "" : ": " + c.series[k]), summarize(c.micros[k]),
                first);
  std::printf("\n");
  print_header("CPU per pass (microseconds)");
  const double first_cpu = summarize(contenders.front().cpu_micros).median_us;
  for (const Contender& c : contenders) print_row(c.name, summarize(c.cpu_micros), first_cpu);
}

}  // namespace qltbench
