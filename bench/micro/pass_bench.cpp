// One complete pass against the do-nothing host: RefreshStatus sends the
// first request, every reply is handed over in turn, and the last one
// completes the round.

#include "bench/micro/allocation_meter.h"
#include "bench/micro/unit_entry.h"
#include "testkit/model_rig.h"

namespace {

void BM_Pass(benchmark::State& state) {
  ModelRig rig(qltbench::unit_entry(state));
  rig.pass();
  const AllocationCount allocations;
  for (auto _ : state) rig.pass();
  qltbench::report_allocations(state, allocations);
  state.counters["batches"] = rig.batches();
}

BENCHMARK(BM_Pass)->ArgNames({"ups", "ac"})->Args({1, 0})->Args({1, 1})->Args({4, 4});

}  // namespace
