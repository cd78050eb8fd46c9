// The communication-loss alarm: a device that has delivered no round for
// its offline_after_ms is in alarm, in the same streams as its points'
// alarms, until its next round. Looked at five times a second on the I/O
// thread.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include "apps/kpl-host/device_slot.h"
#include "apps/kpl-host/host_events.h"

namespace kplhost {

// The alarm id under which the loss is reported.
inline constexpr const char* communication_lost_id = "communication_lost";

class CommunicationWatch {
 public:
  CommunicationWatch(boost::asio::io_context& io, DeviceRegistry& registry, HostEvents& events)
      : timer_(io), registry_(registry), events_(events) {}
  void start();
  // Call on the I/O thread.
  void stop() { timer_.cancel(); }
  // Raises or clears the device's alarm as its health now says.
  void check(DeviceSlot& slot);

 private:
  boost::asio::steady_timer timer_;
  DeviceRegistry& registry_;
  HostEvents& events_;
};

}  // namespace kplhost
