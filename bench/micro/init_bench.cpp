// Init as the host calls it on a new device: the plug-in's factory makes the
// device, Init reads its config entry, sizes the image and plans the
// requests; the device is then dropped. The do-nothing host opens nothing.

#include "bench/micro/allocation_meter.h"
#include "bench/support/device_json.h"
#include "plugin/qlt_model_provider.h"
#include "model/qlt_model.h"

namespace {

void BM_Init(benchmark::State& state) {
  const qltbench::Blocks blocks{static_cast<int>(state.range(0)), static_cast<int>(state.range(1))};
  const Json::Value entry = qltbench::device_json(7, blocks, 1502);
  const QLTModelProvider provider;
  qltbench::AllocationMeter allocations;
  for (auto _ : state) {
    std::shared_ptr<KPLSocketDevice> device(provider.create());
    benchmark::DoNotOptimize(device->Init({}, 7, entry));
  }
  allocations.report(state);
}

BENCHMARK(BM_Init)->ArgNames({"ups", "ac"})->Args({1, 1})->Args({4, 4});

}  // namespace
