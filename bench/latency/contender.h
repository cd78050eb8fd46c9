// One way of running a pass, and what it measured: one or more series of
// pass times, and the process's CPU time per pass. The clients take turns
// in blocks, so that a disturbance of the machine falls on all of them alike.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace qltbench {

struct Contender {
  // run: one pass; returns its times in microseconds, one per series, and
  // throws when the pass failed (the figures would not be comparable).
  Contender(std::string name, std::vector<std::string> series,
            std::function<std::vector<double>()> run);

  // Runs a pass and records it.
  void measure();

  std::string name;
  std::vector<std::string> series;
  std::function<std::vector<double>()> run;
  std::vector<std::vector<double>> micros;
  // CPU of the whole process: for a client, its own thread; for the host, its
  // I/O thread, its worker, and the wake-up of the thread that waits.
  std::vector<double> cpu_micros;
};

struct Schedule {
  int warmup = 50;
  int passes = 500;
  int block = 20;
  std::chrono::microseconds gap{2000};
};

// Warm-up passes for each, then blocks of passes in turn, gap apart.
void take_turns(std::vector<Contender>& contenders, const Schedule& s);

// The table of pass times and of CPU per pass, each against the first
// contender's median.
void print_tables(const std::vector<Contender>& contenders);

}  // namespace qltbench
