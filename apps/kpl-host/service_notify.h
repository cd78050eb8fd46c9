// What systemd hears from the host when the host runs as its service: that
// it is ready, what it is doing, and, from the event loop itself, that it is
// alive. A loop that hangs stops the pats, and systemd restarts the service
// (WatchdogSec). Outside systemd (no NOTIFY_SOCKET) it does nothing.
#pragma once

#include <chrono>
#include <string>

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

namespace kplhost {

class ServiceNotifier {
 public:
  explicit ServiceNotifier(boost::asio::io_context& io) : timer_(io) {}
  void ready(const std::string& status);
  // Pats the watchdog at half its interval, on the I/O thread, when systemd
  // asked for one.
  void start_watchdog();
  // Call on the I/O thread.
  void stop() { timer_.cancel(); }
  void stopping();

 private:
  void pat();

  boost::asio::steady_timer timer_;
  std::chrono::microseconds interval_{0};
};

}  // namespace kplhost
