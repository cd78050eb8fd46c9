#include "bench/scale/cpu_pin.h"

#include <sched.h>

#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace qltbench {

namespace {

cpu_set_t parse_cpus(const std::string& list) {
  cpu_set_t set;
  CPU_ZERO(&set);
  std::istringstream in(list);
  std::string range;
  while (std::getline(in, range, ',')) {
    const size_t dash = range.find('-');
    const int first = std::atoi(range.substr(0, dash).c_str());
    const int last = dash == std::string::npos ? first : std::atoi(range.substr(dash + 1).c_str());
    if (range.empty() || first < 0 || last < first || last >= CPU_SETSIZE)
      throw std::invalid_argument("not a list of CPUs: " + list);
    for (int c = first; c <= last; ++c) CPU_SET(c, &set);
  }
  return set;
}

}  // namespace

void on_cpus(const std::string& cpus, const std::function<void()>& start) {
  if (cpus.empty()) return start();
  cpu_set_t before;
  sched_getaffinity(0, sizeof before, &before);
  const cpu_set_t wanted = parse_cpus(cpus);
  if (sched_setaffinity(0, sizeof wanted, &wanted) != 0)
    throw std::invalid_argument("cannot run on CPUs " + cpus);
  try {
    start();
  } catch (...) {
    sched_setaffinity(0, sizeof before, &before);
    throw;
  }
  sched_setaffinity(0, sizeof before, &before);
}

}  // namespace qltbench
