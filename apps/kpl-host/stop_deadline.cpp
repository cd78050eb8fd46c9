#include "apps/kpl-host/stop_deadline.h"

#include <unistd.h>

namespace kplhost {

StopDeadline::StopDeadline(std::chrono::milliseconds bound,
                           std::function<std::string()> last_words) {
  thread_ = std::thread([this, bound, last_words = std::move(last_words)] {
    std::unique_lock<std::mutex> g(lock_);
    if (done_.wait_for(g, bound, [this] { return ended_; })) return;
    // Written straight to standard error: a lock held by the part that hangs
    // must not hold up the end, and standard output may be a pipe whose
    // reader ends with the process.
    std::string line = "kpl-host: the stop took too long\n";
    try {
      line = "kpl-host: " + last_words() + "\n";
    } catch (...) {
      // The fixed line says enough; the end must not wait for memory.
    }
    (void)!::write(STDERR_FILENO, line.data(), line.size());
    ::_exit(1);
  });
}

StopDeadline::~StopDeadline() {
  {
    std::lock_guard<std::mutex> g(lock_);
    ended_ = true;
  }
  done_.notify_all();
  thread_.join();
}

}  // namespace kplhost
