// One complete pass against the do-nothing host: RefreshStatus sends the
// first request, every reply is handed over in turn, and the last one
// completes the round.

#include "bench/micro/allocation_meter.h"
#include "bench/support/model_rig.h"

namespace {

void BM_Pass(benchmark::State& state) {
  qltbench::ModelRig rig({static_cast<int>(state.range(0)), static_cast<int>(state.range(1))});
  rig.pass();
  qltbench::AllocationMeter allocations;
  for (auto _ : state) rig.pass();
  allocations.report(state);
  state.counters["batches"] = rig.batches();
}

BENCHMARK(BM_Pass)->ArgNames({"ups", "ac"})->Args({1, 0})->Args({1, 1})->Args({4, 4});

}  // namespace
