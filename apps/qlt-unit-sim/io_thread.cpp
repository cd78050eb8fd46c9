#include "apps/qlt-unit-sim/io_thread.h"

#include <boost/asio/post.hpp>
#include <future>

namespace qltsim {

void IoThread::start() {
  if (running()) return;
  work_.emplace(io_.get_executor());
  thread_ = std::thread([this] { io_.run(); });
}

void IoThread::stop() {
  if (!running()) return;
  work_.reset();
  io_.stop();
  thread_.join();
}

void IoThread::call(const std::function<void()>& f) {
  if (!running() || io_.get_executor().running_in_this_thread()) {
    f();
    return;
  }
  std::promise<void> done;
  boost::asio::post(io_, [&] {
    try {
      f();
      done.set_value();
    } catch (...) {
      done.set_exception(std::current_exception());
    }
  });
  done.get_future().get();
}

}  // namespace qltsim
