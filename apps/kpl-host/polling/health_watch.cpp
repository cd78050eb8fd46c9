#include "apps/kpl-host/polling/health_watch.h"

#include <algorithm>
#include <cstdio>

namespace kplhost {

void HealthWatch::start() {
  if (last_tick_ == std::chrono::steady_clock::time_point{})
    last_tick_ = std::chrono::steady_clock::now();
  timer_.expires_after(std::chrono::milliseconds(200));
  timer_.async_wait([this](const boost::system::error_code& ec) {
    if (ec) return;
    catch_stall(std::chrono::steady_clock::now());
    for (const auto& s : registry_.slots()) check(*s);
    start();
  });
}

void HealthWatch::catch_stall(std::chrono::steady_clock::time_point now) {
  const auto gap = now - last_tick_;
  last_tick_ = now;
  if (registry_.slots().empty()) return;
  // The shortest bound after which a device's silence raises its alarm.
  std::chrono::milliseconds bound = registry_.slots().front()->health.offline_after();
  for (const auto& s : registry_.slots()) bound = std::min(bound, s->health.offline_after());
  if (gap <= bound) return;
  // A device already lost before the stall stays lost.
  for (const auto& s : registry_.slots())
    if (!s->communication_lost) s->health.excuse_silence(now);
  const long seconds =
      static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(gap).count());
  if (say)
    say("not running for " + std::to_string(seconds) +
        " s (stopped or paused); communication checks restart");
}

void HealthWatch::check(DeviceSlot& slot) {
  const DeviceHealth::Snapshot h = slot.health.snapshot(slot.failed);
  if (h.state == slot.reported_state) return;
  slot.reported_state = h.state;
  DeviceSlot* s = &slot;
  worker_.post([this, s, state = h.state] { events_.device_state(*s, state); });
  // A stopped device is reported as such, not as a lost unit.
  if (h.state == HealthState::failed) return;
  const bool lost = h.state == HealthState::offline;
  if (lost == slot.communication_lost) return;
  slot.communication_lost = lost;
  char detail[96] = "rounds again";
  if (lost)
    std::snprintf(detail, sizeof detail, "no round for %.1f s; its values are stale", h.data_age_s);
  // Connected, yet silent: the link's own troubles are not the cause, so
  // the last error says what is, as far as the host can see it.
  if (lost && slot.connected) {
    slot.problem.set(h.bytes_out == 0
                         ? "connected, but the device asks the unit nothing: its configuration "
                           "plans no read (see the plug-in's lines)"
                         : "connected, but no round completes: the unit does not answer, or its "
                           "replies are refused (see the plug-in's lines)");
    slot.silent_problem = true;
  } else if (!lost && slot.silent_problem) {
    slot.problem.clear();
    slot.silent_problem = false;
  }
  worker_.post(
      [this, s, lost, text = std::string(detail)] { events_.communication(*s, lost, text); });
}

}  // namespace kplhost
