// One data reply through the host's receive entry (process, then
// process_data) until the model has sent the next request, against the
// do-nothing host. The pass is rewound before its last batch, so no
// iteration completes a round.

#include "bench/micro/allocation_meter.h"
#include "bench/micro/unit_entry.h"
#include "testkit/model_rig.h"

namespace {

void BM_Reply(benchmark::State& state) {
  ModelRig rig(qltbench::unit_entry(state));
  QLTModel& m = rig.model();
  rig.pass();
  m.RefreshStatus();
  const int last = rig.batches() - 1;
  const AllocationCount allocations;
  for (auto _ : state) {
    if (m.cur_batch == last) rig.rewind();
    benchmark::DoNotOptimize(rig.feed(m.cur_batch));
  }
  qltbench::report_allocations(state, allocations);
}

BENCHMARK(BM_Reply)->ArgNames({"ups", "ac"})->Args({1, 0})->Args({1, 1});

}  // namespace
