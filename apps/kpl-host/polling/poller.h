// Polling: every device's RefreshStatus() at the configured interval, on the
// I/O thread, under the device's lock. Devices are spread over the interval
// so that a host with many units does not poll them all at once.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <memory>
#include <vector>

#include "apps/kpl-host/core/device_calls.h"
#include "apps/kpl-host/core/device_slot.h"

namespace kplhost {

class Poller {
 public:
  Poller(boost::asio::io_context& io, const DeviceRegistry& registry, DeviceCalls& calls,
         std::chrono::milliseconds interval);
  void start();
  // Call on the I/O thread.
  void stop();

 private:
  struct Timer {
    DeviceSlot* slot;
    boost::asio::steady_timer timer;
  };
  void arm(Timer& t);

  DeviceCalls& calls_;
  std::chrono::milliseconds interval_;
  std::vector<std::unique_ptr<Timer>> timers_;
  bool stopped_ = false;
};

}  // namespace kplhost
