// Heap allocations per iteration as a benchmark counter. The program links
// testkit/counting_new.cpp, whose operator new counts every block.
#pragma once

#include <benchmark/benchmark.h>

#include "testkit/counting_new.h"

namespace qltbench {

class AllocationMeter {
 public:
  AllocationMeter() : start_(heap_allocations()) {}
  // Call once the timed loop has ended.
  void report(benchmark::State& state) const {
    state.counters["allocs/op"] = benchmark::Counter(
        static_cast<double>(heap_allocations() - start_), benchmark::Counter::kAvgIterations);
  }

 private:
  long start_;
};

}  // namespace qltbench
