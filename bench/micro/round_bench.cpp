// One complete round, RoundDone with the point evaluation, on an image that
// a pass has filled: against the do-nothing host; against a host that only
// keeps one record per point (what a round allocates beyond that is the
// plug-in's); and through the reference host's rules, events and publisher,
// whose worker runs the round's work at once.

#include "bench/micro/allocation_meter.h"
#include "bench/support/keeping_rules.h"
#include "bench/support/model_rig.h"
#include "bench/support/reference_backend.h"

namespace {

using qltbench::AllocationMeter;
using qltbench::Blocks;
using qltbench::ModelRig;

Blocks blocks_of(const benchmark::State& state) {
  return {static_cast<int>(state.range(0)), static_cast<int>(state.range(1))};
}

void run_rounds(benchmark::State& state, ModelRig& rig) {
  // Two passes first: the block names are made and the rule batch sized.
  rig.pass();
  rig.pass();
  AllocationMeter allocations;
  for (auto _ : state) rig.model().RoundDone();
  allocations.report(state);
}

void BM_Round(benchmark::State& state) {
  ModelRig rig(blocks_of(state));
  run_rounds(state, rig);
}

void BM_RoundKeepingRecords(benchmark::State& state) {
  qltbench::KeepingRules rules;
  HostServices services = *HostServices::none();
  services.rules = &rules;
  ModelRig rig(blocks_of(state), &services);
  run_rounds(state, rig);
}

void BM_RoundReferenceHost(benchmark::State& state) {
  qltbench::ReferenceBackend host(qltbench::device_json(7, blocks_of(state), 1502));
  HostServices services = host.services();
  ModelRig rig(blocks_of(state), &services);
  host.adopt(rig.shared());
  run_rounds(state, rig);
}

BENCHMARK(BM_Round)->ArgNames({"ups", "ac"})->Args({1, 1})->Args({4, 4});
BENCHMARK(BM_RoundKeepingRecords)->ArgNames({"ups", "ac"})->Args({1, 1})->Args({4, 4});
BENCHMARK(BM_RoundReferenceHost)->ArgNames({"ups", "ac"})->Args({1, 1})->Args({4, 4});

}  // namespace
