// Rendering /metrics for a host of many devices, each with the values and
// alarms of one UPS and one air conditioner, on the host's I/O thread.

#include <benchmark/benchmark.h>

#include "apps/kpl-host/core/config.h"
#include "apps/kpl-host/core/device_report.h"
#include "apps/kpl-host/view/metrics_text.h"
#include "bench/micro/allocation_meter.h"
#include "bench/support/device_json.h"

namespace {

void BM_MetricsRender(benchmark::State& state) {
  const int devices = static_cast<int>(state.range(0));
  Json::Value doc;
  for (int d = 0; d < devices; ++d)
    doc["devices"].append(qltbench::device_json(static_cast<unsigned>(d + 1), {1, 1}, 1502));
  kplhost::DeviceRegistry registry;
  std::vector<rule_value> records;
  for (int p = 0; p < 15; ++p)
    records.push_back({rule_analogue,
                       "temperature_" + std::to_string(p) + "_value",
                       "",
                       1,
                       0x41b80000u,
                       {},
                       {},
                       rule_normal});
  for (int a = 0; a < 154; ++a)
    records.push_back({rule_alarm, "QLT_" + std::to_string(a), "", 1, a < 2 ? 1u : 0u, "02401",
                       "空调1", a < 2 ? rule_in_alarm : rule_normal});
  for (kplhost::DeviceConfig& c : kplhost::parse_config(doc, "(bench)").devices) {
    kplhost::DeviceSlot& s = registry.add(std::move(c));
    s.health.published();
    s.view.update(1, records);
  }
  size_t bytes = 0;
  const AllocationCount allocations;
  for (auto _ : state) {
    const std::string text =
        kplhost::metrics_text(kplhost::report_devices(registry), kplhost::OutputsStatus{});
    bytes = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  qltbench::report_allocations(state, allocations);
  state.counters["bytes"] = static_cast<double>(bytes);
}

BENCHMARK(BM_MetricsRender)
    ->ArgNames({"devices"})
    ->Arg(100)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond);

}  // namespace
