// What systemd hears from the host when the host runs as its service: that
// it is ready, what it is doing, and that it is alive. The pats come from the
// event loop and only while the threshold worker keeps answering too, so a
// hang in either stops them and systemd restarts the service (WatchdogSec).
// Outside systemd (no NOTIFY_SOCKET) it does nothing.
#pragma once

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace kplhost {

class ServiceNotifier {
 public:
  // Hands a task to the worker thread, to be run in order with its work.
  using PostToWorker = std::function<void(std::function<void()>)>;

  ServiceNotifier(boost::asio::io_context& io, PostToWorker post_to_worker)
      : timer_(io), post_to_worker_(std::move(post_to_worker)) {}
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
  PostToWorker post_to_worker_;
  std::chrono::microseconds interval_{0};
  // Set by the probe the worker runs; shared, as a probe may still be queued
  // when the notifier is gone.
  std::shared_ptr<std::atomic<bool>> worker_answered_ = std::make_shared<std::atomic<bool>>(true);
};

}  // namespace kplhost
