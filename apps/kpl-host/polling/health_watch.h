// Watches every device's health, five times a second and at every round, on
// the I/O thread: a change of state is told to the listeners, and so is the
// communication-loss alarm, raised when a device goes offline (no round for
// its offline_after_ms) and cleared by its next round, in the same streams
// as its points' alarms. The listeners are told on the worker thread, in
// order with the device's rounds, so that what they write to disk never
// waits on the I/O thread.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <functional>
#include <string>

#include "apps/kpl-host/core/device_slot.h"
#include "apps/kpl-host/core/host_events.h"
#include "apps/kpl-host/polling/work_queue.h"

namespace kplhost {

class HealthWatch {
 public:
  HealthWatch(boost::asio::io_context& io, DeviceRegistry& registry, HostEvents& events,
              WorkQueue& worker)
      : timer_(io), registry_(registry), events_(events), worker_(worker) {}
  void start();
  // Call on the I/O thread.
  void stop() { timer_.cancel(); }
  // Tells of what changed in the device's health since it was last looked at.
  void check(DeviceSlot& slot);
  // Where the host's own line about a stall of its own goes.
  std::function<void(const std::string&)> say;

 private:
  // The watch's tick came far later than due: the host itself did not run
  // (stopped, a paused machine, a stuck disk). The devices' silence in that
  // gap is not theirs, so their silence is counted anew from now, once said.
  void catch_stall(std::chrono::steady_clock::time_point now);

  std::chrono::steady_clock::time_point last_tick_{};
  boost::asio::steady_timer timer_;
  DeviceRegistry& registry_;
  HostEvents& events_;
  WorkQueue& worker_;
};

}  // namespace kplhost
