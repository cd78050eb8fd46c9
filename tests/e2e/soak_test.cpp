// A long run: thirteen units polled as fast as the host will, each with its own
// fault striking now and then, for ten thousand rounds in all. No published
// image may differ from its unit's values, and the host's memory must not
// grow with the rounds.

#include <fstream>

#include "tests/e2e/e2e_fixture.h"

namespace {

using namespace std::chrono_literals;
using qltsim::Fault;
using qltsim::FaultMode;
using qltsim::Schedule;

long resident_kib(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

TEST_F(EndToEnd, SoakTenThousandRoundsWithFaultsSprinkledIn) {
  const FaultMode modes[] = {FaultMode::drop,          FaultMode::error,       FaultMode::exception,
                             FaultMode::short_reply,   FaultMode::lying_count, FaultMode::junk,
                             FaultMode::wrong_tid,     FaultMode::coalesce,    FaultMode::split,
                             FaultMode::close,         FaultMode::gateway,     FaultMode::mute,
                             FaultMode::late_duplicate};
  unsigned int number = 1;
  for (FaultMode m : modes) {
    qltsim::Unit& u = add_unit({number++, {1, 0, 0, 0, 1}});
    // A cut connection costs half a second of backoff; strike it less often
    // so that its unit keeps up with the others.
    Fault f(m, Schedule::every_nth_request(m == FaultMode::close ? 997 : 97));
    f.delay = 30ms;
    u.set_fault(f);
  }
  sim.start();
  // The images only, all in one file: 13 units' thousand images are some
  // 60 MB. Every round's image goes to history at once, so that the
  // database's caches are warm before memory is first measured, rather than
  // filled at whichever ten-minute mark the run happens to cross.
  top_keys = R"("events_max_mb": 1000, "history_interval_s": 0,)";
  write_config(10, "", R"(, "reply_timeout_ms": 100)");
  const long rounds_each = 1000;
  auto host = run_host({"--plugin", QLTMODEL_SO, "--config", config_path, "--events", events_path,
                        "--events-only", "publish", "--history", history_path, "--quiet",
                        "--rounds", std::to_string(rounds_each)});

  // Memory once every unit has served a hundred passes, once each has served
  // half its rounds, and at most from then on until the last rounds, before
  // the host stops. What the first half adds is warming up (caches, code
  // first run, under an emulator its translations); what the second half
  // adds grows with the rounds.
  auto served = [&](uint64_t passes) {
    for (const auto& u : units)
      if (u.second->requests_served() < passes * 12) return false;
    return true;
  };
  ASSERT_TRUE(eventually([&] { return served(100); }, 60s));
  const long start_kib = resident_kib(host->pid());
  ASSERT_TRUE(eventually([&] { return served(rounds_each / 2); }, 300s));
  const long half_kib = resident_kib(host->pid());
  long end_kib = half_kib;
  ASSERT_TRUE(eventually(
      [&] {
        if (host->exited()) return true;
        end_kib = std::max(end_kib, resident_kib(host->pid()));
        return served(rounds_each - 20);
      },
      300s));
  ASSERT_EQ(host->wait(60s), 0) << host->out();

  long published = 0;
  for (const auto& [entry, unit] : units) {
    const auto images = events_of("publish", entry.device_number);
    EXPECT_GE(images.size(), size_t(rounds_each)) << entry.device_number;
    for (const Json::Value& p : images) expect_image_matches(p, *unit, entry.device_number);
    published += static_cast<long>(images.size());
  }
  std::printf(
      "soak: %ld rounds published; resident memory %ld KiB after the first 100 rounds, "
      "%ld KiB half-way, at most %ld KiB later\n",
      published, start_kib, half_kib, end_kib);
  RecordProperty("rounds", static_cast<int>(published));
  RecordProperty("rss_start_kib", static_cast<int>(start_kib));
  RecordProperty("rss_max_kib", static_cast<int>(end_kib));
  RecordProperty("rss_half_kib", static_cast<int>(half_kib));
  EXPECT_GE(published, 10000);
  // Flat over the second half's ten thousand rounds: a leak of a hundred
  // bytes a round would pass this.
  EXPECT_LT(end_kib - half_kib, 1024);
}

}  // namespace
