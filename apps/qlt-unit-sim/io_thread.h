// The one io_context every unit of a simulator shares, and the thread that
// runs it.
#pragma once

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <functional>
#include <optional>
#include <thread>

namespace qltsim {

class IoThread {
 public:
  IoThread() = default;
  IoThread(const IoThread&) = delete;
  IoThread& operator=(const IoThread&) = delete;
  ~IoThread() { stop(); }

  boost::asio::io_context& context() { return io_; }
  void start();
  // Stops the thread; handlers still queued are destroyed with the context.
  void stop();
  bool running() const { return thread_.joinable(); }

  // Runs f on the io thread and waits for it, passing on what it throws.
  // Runs it right here when the thread is not running or this is the io thread.
  void call(const std::function<void()>& f);

 private:
  boost::asio::io_context io_;
  std::optional<boost::asio::executor_work_guard<boost::asio::io_context::executor_type>> work_;
  std::thread thread_;
};

}  // namespace qltsim
