// Device health from what the host sees: passes that start and end,
// restarts, slow passes and silence, against a clock stepped by hand; and
// the host's own health as its service manager hears it.

#include <gtest/gtest.h>

#include <boost/asio/post.hpp>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

#include "apps/kpl-host/core/device_health.h"
#include "apps/kpl-host/core/point_kinds.h"
#include "apps/kpl-host/core/problem.h"
#include "apps/kpl-host/outputs/console.h"
#include "apps/kpl-host/polling/link_damper.h"
#include "apps/kpl-host/service_notify.h"
#include "apps/kpl-host/view/metrics_text.h"
#include "testkit/notify_socket.h"
#include "testkit/temp_path.h"

namespace {

using namespace std::chrono_literals;
using kplhost::DeviceHealth;
using kplhost::HealthState;

TEST(DeviceHealth, StatesFollowRoundsRestartsSlownessAndSilence) {
  const auto t0 = DeviceHealth::Clock::time_point{} + 1h;
  DeviceHealth h(3000ms, 1000ms, t0);
  auto pass = [&](DeviceHealth::Clock::time_point start, std::chrono::milliseconds took) {
    h.pass_started(start);
    h.sent(12);
    h.sent(12);
    h.published(start + took);
  };
  EXPECT_EQ(h.state(false, t0 + 1s), HealthState::connecting);
  EXPECT_EQ(h.state(false, t0 + 3001ms), HealthState::offline);

  pass(t0 + 4s, 100ms);
  EXPECT_EQ(h.state(false, t0 + 5s), HealthState::online);
  EXPECT_EQ(h.state(true, t0 + 5s), HealthState::failed);
  // Silence: offline once offline_after has passed since the last round.
  EXPECT_EQ(h.state(false, t0 + 4100ms + 3000ms), HealthState::online);
  EXPECT_EQ(h.state(false, t0 + 4100ms + 3001ms), HealthState::offline);

  // A pass that starts again before it published is a restart: degraded
  // for a minute.
  h.pass_started(t0 + 8s);
  h.sent(12);
  pass(t0 + 9s, 100ms);
  EXPECT_EQ(h.state(false, t0 + 10s), HealthState::degraded);
  pass(t0 + 70s, 100ms);
  EXPECT_EQ(h.state(false, t0 + 70200ms), HealthState::online);
  // A pass slower than allowed: degraded until a quick one.
  pass(t0 + 72s, 1500ms);
  EXPECT_EQ(h.state(false, t0 + 74s), HealthState::degraded);
  pass(t0 + 75s, 100ms);
  EXPECT_EQ(h.state(false, t0 + 76s), HealthState::online);

  const DeviceHealth::Snapshot s = h.snapshot(false, t0 + 76s);
  EXPECT_EQ(s.rounds, 5);
  EXPECT_EQ(s.passes_restarted, 1);
  EXPECT_EQ(s.bytes_out, 11u * 12);
  EXPECT_DOUBLE_EQ(s.last_pass_s, 0.1);
  EXPECT_DOUBLE_EQ(s.p50_pass_s, 0.1);
  // The histogram counts passes cumulatively by bucket: four within 0.1 s,
  // the slow one within 2.5 s, all five within +Inf.
  EXPECT_EQ(s.histogram[3], 4);
  EXPECT_EQ(s.histogram[7], 5);
  EXPECT_EQ(s.histogram.back(), 5);
}

// Passes started again one after another count up until a round; a lost
// link ends an open pass without counting it; a stall of the host's own
// restarts the silence; a flood keeps the device degraded for a minute.
TEST(DeviceHealth, RestartsInARowStallsAndFloods) {
  const auto t0 = DeviceHealth::Clock::time_point{} + 1h;
  DeviceHealth h(3000ms, 1000ms, t0);
  EXPECT_EQ(h.pass_started(t0), 0);
  EXPECT_EQ(h.pass_started(t0 + 1s), 1);
  EXPECT_EQ(h.pass_started(t0 + 2s), 2);
  h.link_down();
  EXPECT_EQ(h.pass_started(t0 + 3s), 0);
  EXPECT_EQ(h.pass_started(t0 + 4s), 1);
  h.published(t0 + 4100ms);
  EXPECT_EQ(h.pass_started(t0 + 5s), 0);
  EXPECT_EQ(h.snapshot(false, t0 + 5s).passes_restarted, 3);

  // The host did not run from 4.1 s to 20 s: the unit's silence counts anew.
  EXPECT_EQ(h.state(false, t0 + 20s), HealthState::offline);
  h.excuse_silence(t0 + 20s);
  EXPECT_NE(h.state(false, t0 + 22s), HealthState::offline);
  EXPECT_EQ(h.state(false, t0 + 23001ms), HealthState::offline);

  DeviceHealth f(3000ms, 1000ms, t0);
  f.pass_started(t0);
  f.published(t0 + 100ms);
  f.lines_suppressed(3980, t0 + 1s);
  EXPECT_EQ(f.state(false, t0 + 2s), HealthState::degraded);
  EXPECT_EQ(f.snapshot(false, t0 + 2s).lines_suppressed, 3980);
  f.published(t0 + 61s);
  EXPECT_EQ(f.state(false, t0 + 61500ms), HealthState::online);
}

// A unit that accepts and resets at once, a minute long, with the back-off
// growing: two lines, then one line a minute saying how often it happened.
TEST(LinkDamper, AStormSaysFourLinesThenOneAMinute) {
  kplhost::LinkDamper damper;
  const auto t0 = kplhost::LinkDamper::Clock::time_point{} + 1h;
  std::vector<std::string> said;
  auto attempt = [&](std::chrono::milliseconds at, long retry_ms) {
    if (auto s = damper.summary(t0 + at)) said.push_back(s->detail);
    if (damper.admit(true, "127.0.0.1:1502", t0 + at)) said.push_back("up");
    const std::string down =
        "connection to 127.0.0.1:1502 lost: Connection reset by peer; "
        "retrying in " +
        std::to_string(retry_ms) + " ms";
    if (damper.admit(false, down, t0 + at + 1ms)) said.push_back(down);
  };
  long retry = 500, at = 0;
  for (; at < 60000; at += retry, retry = std::min(retry * 2, 30000L))
    attempt(std::chrono::milliseconds(at), retry);
  EXPECT_FALSE(damper.summary(t0 + 59s).has_value());
  const auto first = damper.summary(t0 + 60s + 1ms);
  ASSERT_TRUE(first.has_value());
  EXPECT_FALSE(first->up);
  EXPECT_EQ(first->detail,
            "reconnected 7 times in the last minute; last: connection to 127.0.0.1:1502 lost: "
            "Connection reset by peer; retrying in 30000 ms");
  // A link lost and made again once reads whole: two lines of each kind.
  ASSERT_EQ(said.size(), 4u);
  EXPECT_EQ(said[0], "up");
  EXPECT_EQ(said[1],
            "connection to 127.0.0.1:1502 lost: Connection reset by peer; retrying in 500 ms");
  EXPECT_EQ(said[2], "up");
  // The storm goes on: the next minute says only its summary.
  for (; at < 180000; at += 30000) attempt(std::chrono::milliseconds(at), 30000);
  EXPECT_EQ(said.size(), 5u) << said.back();
  EXPECT_EQ(said[4].substr(0, 40), "reconnected 2 times in the last minute; ");
  // A quiet minute, and the first lines of a new trouble go out again.
  EXPECT_TRUE(damper.summary(t0 + 200s).has_value());
  EXPECT_TRUE(damper.admit(true, "127.0.0.1:1502", t0 + 400s));
}

// How long a problem has lasted comes from the monotonic clock: the wall
// clock stepped back an hour changes when it is said to have started, never
// how long it lasted.
TEST(Problem, LastsByTheMonotonicClockWhateverTheWallClockDoes) {
  kplhost::Problem p;
  EXPECT_EQ(p.text(), "none");
  const auto mono = kplhost::Problem::Clock::time_point{} + 1h;
  const auto wall = kplhost::Problem::Wall::now();
  p.set("connection lost", mono, wall);
  // Said again an hour earlier by the wall clock: it goes on, from its start.
  p.set("connection lost again", mono + 2s, wall - 1h);
  const std::string text = p.text(mono + 9s);
  EXPECT_EQ(text.substr(0, 28), "connection lost again since ");
  EXPECT_EQ(text.substr(text.size() - 6), " (9 s)") << text;
  // Asked with an older monotonic time than it started: never negative.
  EXPECT_EQ(p.text(mono - 5s).substr(p.text(mono - 5s).size() - 6), " (0 s)");
}

// Metric values: a unit can report any float, and every one must come out as
// a number the exposition format reads, within the buffer it is printed in.
TEST(DeviceHealth, MetricValuesAnyFloatCanTake) {
  using kplhost::metric_number;
  EXPECT_EQ(metric_number(0.25), "0.25");
  EXPECT_EQ(metric_number(1765213509.123), "1765213509.123");
  EXPECT_EQ(metric_number(-2e6), "-2000000.000");
  EXPECT_EQ(metric_number(3.4028234663852886e38), "3.40282347e+38");
  EXPECT_EQ(metric_number(-1e300), "-1e+300");
  EXPECT_EQ(metric_number(std::nan("")), "NaN");
  EXPECT_EQ(metric_number(HUGE_VAL), "+Inf");
  EXPECT_EQ(metric_number(-HUGE_VAL), "-Inf");
}

// The host knows units by a table of its own, not by what a plug-in sends:
// points it has no row for (another plug-in's) are shown as reported, under
// their name's first word, without a unit; known ones with theirs, at the
// precision the page uses too.
TEST(PointKinds, ForeignPointsShowAsReportedAndKnownOnesWithTheirUnits) {
  using kplhost::PointValue;
  const std::vector<PointValue> values = {{"temperature_1_value", "", 23.34f, false},
                                          {"humid_1_value", "", 45.0f, false},
                                          {"battery_0_value", "", 54.16f, true},
                                          {"pressure_2_value", "", 101.3f, false},
                                          {"flow", "", 2.0f, false}};
  EXPECT_EQ(kplhost::analogue_summary(values),
            "temperature 23.3 °C | humidity 45.0 %RH | battery 54.2(!) V | pressure 101.3 | "
            "flow 2.0");
  EXPECT_EQ(kplhost::point_value_text("battery_0_value", 54.16), "54.2 V");
  EXPECT_EQ(kplhost::point_value_text("pressure_2_value", std::nan("")), "—");
  EXPECT_STREQ(kplhost::point_kind("pressure_2_value").metric, "kpl_point_value");
}

// The watchdog is patted while the event loop runs and the worker answers
// its probes; a worker that holds a probe stops the pats until it lets go.
TEST(ServiceWatchdog, PatsOnlyWhileTheWorkerAnswers) {
  NotifySocket systemd(unique_temp_path(".notify"), 100ms);
  boost::asio::io_context io;
  std::mutex lock;
  std::vector<std::function<void()>> held;
  kplhost::ServiceNotifier notifier(io, [&](std::function<void()> task) {
    std::lock_guard<std::mutex> g(lock);
    held.push_back(std::move(task));
  });
  notifier.start_watchdog();
  notifier.ready("polling 1 device(s)");
  std::thread loop([&] { io.run(); });

  EXPECT_EQ(systemd.receive(1s), "WATCHDOG=1");
  EXPECT_EQ(systemd.receive(1s), "READY=1\nSTATUS=polling 1 device(s)");
  EXPECT_EQ(systemd.receive(400ms), std::nullopt) << "patted while the worker is stuck";

  {
    std::lock_guard<std::mutex> g(lock);
    for (auto& task : held) task();
    held.clear();
  }
  EXPECT_EQ(systemd.receive(1s), "WATCHDOG=1");
  boost::asio::post(io, [&] { notifier.stop(); });
  loop.join();
  notifier.stopping();
  EXPECT_TRUE(systemd.wait_for("STOPPING=1", 1s));
}

}  // namespace
