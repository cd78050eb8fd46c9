// One complete round, RoundDone with the point evaluation, on an image that
// a pass has filled: against the do-nothing host; against a host that only
// keeps one record per point (what a round allocates beyond that is the
// plug-in's); and through the reference host's rules, events and publisher,
// whose worker runs the round's work at once.

#include "bench/micro/allocation_meter.h"
#include "bench/micro/unit_entry.h"
#include "bench/support/reference_backend.h"
#include "testkit/keeping_rules.h"
#include "testkit/model_rig.h"

namespace {

void run_rounds(benchmark::State& state, ModelRig& rig) {
  // Two passes first: the block names are made and the rule batch sized.
  rig.pass();
  rig.pass();
  const AllocationCount allocations;
  for (auto _ : state) rig.model().RoundDone();
  qltbench::report_allocations(state, allocations);
}

void BM_Round(benchmark::State& state) {
  ModelRig rig(qltbench::unit_entry(state));
  run_rounds(state, rig);
}

void BM_RoundKeepingRecords(benchmark::State& state) {
  KeepingRules rules;
  HostServices services = rules.services();
  ModelRig rig(qltbench::unit_entry(state), &services);
  run_rounds(state, rig);
}

void BM_RoundReferenceHost(benchmark::State& state) {
  qltbench::ReferenceBackend host(qltbench::unit_entry(state));
  HostServices services = host.services();
  ModelRig rig(qltbench::unit_entry(state), &services);
  host.adopt(rig.shared());
  run_rounds(state, rig);
}

BENCHMARK(BM_Round)->ArgNames({"ups", "ac"})->Args({1, 1})->Args({4, 4});
BENCHMARK(BM_RoundKeepingRecords)->ArgNames({"ups", "ac"})->Args({1, 1})->Args({4, 4});
BENCHMARK(BM_RoundReferenceHost)->ArgNames({"ups", "ac"})->Args({1, 1})->Args({4, 4});

}  // namespace
