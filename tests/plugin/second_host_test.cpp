// The plug-in in a second host, written apart from kpl-host: plain poll(2)
// sockets on one thread, work items copied, run late and in any order on
// other threads or dropped unrun, and every device destroyed and made again
// a thousand times while simulated units answer. Run under AddressSanitizer
// (leaks too) and ThreadSanitizer, this is the plug-in's proof that it
// holds up in any host that keeps the contract.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <map>
#include <random>

#include "apps/qlt-unit-sim/simulator.h"
#include "host/provider.h"
#include "testkit/poll_host.h"
#include "testkit/scrambling_worker.h"

namespace {

using namespace std::chrono_literals;

struct UnitPlan {
  unsigned int number;
  qltsim::Composition composition;
};

const UnitPlan plans[] = {{1, {1, 0, 0, 0, 1}}, {2, {0, 0, 0, 0, 0}}, {3, {0, 1, 1, 1, 2}}};

// The image bytes a unit's values make, before the update_date trailer:
// the device number, then each item as a little-endian float.
std::vector<unsigned char> image_of(unsigned int number, const qltsim::Unit& unit) {
  std::vector<unsigned char> out(4 + 4 * static_cast<size_t>(unit.item_count()));
  std::memcpy(out.data(), &number, 4);
  for (long k = 0; k < unit.item_count(); ++k) {
    const float v = unit.item(k);
    std::memcpy(out.data() + 4 + 4 * k, &v, 4);
  }
  return out;
}

TEST(SecondHost, ReconfiguredAThousandTimesWhileUnitsAnswer) {
  qltsim::Simulator sim;
  std::map<unsigned int, std::vector<unsigned char>> expected;
  std::vector<PollHost::DeviceEntry> entries;
  for (const UnitPlan& p : plans) {
    qltsim::UnitConfig cfg;
    cfg.composition = p.composition;
    cfg.vary = false;
    qltsim::Unit& unit = sim.add_unit(cfg);
    // Values of its own, so that an image taken from another unit shows.
    unit.set("temperature_1_value", 10.0f * static_cast<float>(p.number) + 0.5f);
    expected[p.number] = image_of(p.number, unit);
    Json::Value c;
    c["ip"] = "127.0.0.1";
    c["port"] = unit.port();
    c["addr"] = 1;
    c["data_id"] = 100 + p.number;
    c["appSetting"]["ups"] = p.composition.ups;
    c["appSetting"]["pdu_type_1"] = p.composition.pdu_type_1;
    c["appSetting"]["pdu_type_2"] = p.composition.pdu_type_2;
    c["appSetting"]["pdu_type_3"] = p.composition.pdu_type_3;
    c["appSetting"]["ac"] = p.composition.ac;
    c["appSetting"]["reply_timeout_ms"] = 1000;
    entries.push_back({p.number, c});
  }
  sim.start();

  // Loaded as a host loads it, and kept loaded: a device may outlive its
  // reconfiguration on the worker's threads until its last item goes.
  void* lib = dlopen(QLTMODEL_SO, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  auto entry = reinterpret_cast<get_providers_fn>(dlsym(lib, "get_providers"));
  ASSERT_NE(entry, nullptr);
  const auto providers = entry();
  const auto* provider = dynamic_cast<const KPLSocketDeviceProvider*>(providers.at(0).get());
  ASSERT_NE(provider, nullptr);

  auto check = [&](unsigned int number, const unsigned char* image, int len) {
    const auto& want = expected.at(number);
    return len == static_cast<int>(want.size()) + 7 &&
           std::memcmp(image, want.data(), want.size()) == 0;
  };
  const auto start = std::chrono::steady_clock::now();
  ScramblingWorker worker(20260, 2);
  {
    PollHost host(*provider, worker, check, 1ms);
    std::mt19937 rng(7);
    constexpr int reconfigurations = 1000;
    for (int i = 0; i < reconfigurations; ++i) {
      host.configure(entries);
      ASSERT_TRUE(host.run_rounds(1 + rng() % 2, 20s)) << "reconfiguration " << i;
      if (rng() % 2) worker.drop_pending();
    }
    host.configure({});
    worker.stop();

    const long devices = static_cast<long>(host.made.size());
    long alive = 0;
    for (const auto& d : host.made) alive += d.expired() ? 0 : 1;
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    std::printf(
        "second host: %d reconfigurations, %ld devices made, %ld rounds published, %ld run, "
        "%ld dropped unrun, in %lld ms\n",
        reconfigurations, devices, host.published.load(), worker.rounds_run(),
        worker.rounds() - worker.rounds_run(), static_cast<long long>(took.count()));
    RecordProperty("rounds", static_cast<int>(host.published.load()));
    RecordProperty("took_ms", static_cast<int>(took.count()));

    EXPECT_EQ(devices, 3L * reconfigurations);
    EXPECT_EQ(alive, 0);
    EXPECT_EQ(host.bad_images.load(), 0);
    EXPECT_EQ(host.bad_batches.load(), 0);
    EXPECT_GE(host.published.load(), 3L * reconfigurations);
    // Every round handed over once; each whose work ran, by any copy, fed the
    // rules and the history exactly once.
    EXPECT_EQ(worker.rounds(), host.published.load());
    EXPECT_EQ(host.saved.load(), worker.rounds_run());
    EXPECT_EQ(host.batches.load(), worker.rounds_run());
  }
}

}  // namespace
