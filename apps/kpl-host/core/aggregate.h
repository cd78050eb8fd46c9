// The least, mean and greatest of a run of samples and how many there were;
// the aggregates of two runs merge into the one of both, in any order.
#pragma once

#include <algorithm>
#include <cstdint>

namespace kplhost {

struct Aggregate {
  double min = 0, mean = 0, max = 0;
  std::uint32_t samples = 0;

  void add(double v) {
    if (samples == 0) min = max = v;
    min = std::min(min, v);
    max = std::max(max, v);
    ++samples;
    mean += (v - mean) / samples;
  }
  void merge(const Aggregate& o) {
    if (o.samples == 0) return;
    if (samples == 0) {
      *this = o;
      return;
    }
    min = std::min(min, o.min);
    max = std::max(max, o.max);
    const double n = static_cast<double>(samples) + o.samples;
    mean = (mean * samples + o.mean * o.samples) / n;
    samples += o.samples;
  }
};

}  // namespace kplhost
