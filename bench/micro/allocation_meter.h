// Heap allocations per iteration as a benchmark counter. The program links
// the test kit's counting operator new, which counts every block.
#pragma once

#include <benchmark/benchmark.h>

#include "testkit/counting_new.h"

namespace qltbench {

// Call once the timed loop has ended, with a count made just before it.
inline void report_allocations(benchmark::State& state, const AllocationCount& allocations) {
  state.counters["allocs/op"] = benchmark::Counter(static_cast<double>(allocations.made()),
                                                   benchmark::Counter::kAvgIterations);
}

}  // namespace qltbench
