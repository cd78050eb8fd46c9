// Init as the host calls it on a new device: the plug-in's factory makes the
// device, Init reads its config entry, sizes the image and plans the
// requests; the device is then dropped. The do-nothing host opens nothing.

#include "bench/micro/allocation_meter.h"
#include "bench/micro/unit_entry.h"
#include "model/qlt_model.h"
#include "plugin/qlt_model_provider.h"

namespace {

void BM_Init(benchmark::State& state) {
  const Json::Value entry = qltbench::unit_entry(state);
  const QLTModelProvider provider;
  const AllocationCount allocations;
  for (auto _ : state) {
    std::shared_ptr<KPLSocketDevice> device(provider.create());
    benchmark::DoNotOptimize(device->Init({}, 7, entry));
  }
  qltbench::report_allocations(state, allocations);
}

BENCHMARK(BM_Init)->ArgNames({"ups", "ac"})->Args({1, 1})->Args({4, 4});

}  // namespace
