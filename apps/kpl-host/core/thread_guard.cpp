#include "apps/kpl-host/core/thread_guard.h"

namespace kplhost {

void ThreadGuard::wire(OnFailure on_failure) {
  std::vector<std::string> unsaid;
  {
    std::lock_guard<std::mutex> g(lock_);
    on_failure_ = on_failure;
    unsaid.swap(unsaid_);
  }
  for (const std::string& line : unsaid) on_failure(line);
}

bool ThreadGuard::any_failed() const {
  std::lock_guard<std::mutex> g(lock_);
  return failed_;
}

// Whatever throws in here ends the process (noexcept): there is nothing
// left to fall back on.
void ThreadGuard::fail(const char* thread, const char* what) noexcept {
  std::string line = std::string("the ") + thread + " thread failed: " + what + "; stopping";
  OnFailure tell;
  {
    std::lock_guard<std::mutex> g(lock_);
    failed_ = true;
    if (!on_failure_) {
      unsaid_.push_back(std::move(line));
      return;
    }
    tell = on_failure_;
  }
  tell(line);
}

}  // namespace kplhost
