#include "bench/latency/pass_stats.h"

#include <algorithm>
#include <numeric>

namespace qltbench {

namespace {

// The sample at fraction q of the sorted samples, nearest rank.
double quantile(const std::vector<double>& sorted, double q) {
  const auto i = static_cast<size_t>(q * static_cast<double>(sorted.size() - 1) + 0.5);
  return sorted[i];
}

}  // namespace

PassStats summarize(std::vector<double> micros) {
  PassStats s;
  if (micros.empty()) return s;
  std::sort(micros.begin(), micros.end());
  s.count = static_cast<int>(micros.size());
  s.median_us = quantile(micros, 0.5);
  s.p10_us = quantile(micros, 0.1);
  s.p90_us = quantile(micros, 0.9);
  s.mean_us = std::accumulate(micros.begin(), micros.end(), 0.0) / static_cast<double>(s.count);
  return s;
}

}  // namespace qltbench
