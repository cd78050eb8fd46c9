#include "apps/kpl-host/service_notify.h"

#include <systemd/sd-daemon.h>

namespace kplhost {

void ServiceNotifier::ready(const std::string& status) {
  sd_notify(0, ("READY=1\nSTATUS=" + status).c_str());
}

void ServiceNotifier::start_watchdog() {
  uint64_t usec = 0;
  if (sd_watchdog_enabled(0, &usec) <= 0 || usec == 0) return;
  interval_ = std::chrono::microseconds(usec / 2);
  pat();
}

// A pat only when the probe posted with the last one has run: a worker stuck
// in a round's work for a whole interval withholds it.
void ServiceNotifier::pat() {
  if (worker_answered_->exchange(false)) {
    sd_notify(0, "WATCHDOG=1");
    post_to_worker_([answered = worker_answered_] { answered->store(true); });
  }
  timer_.expires_after(interval_);
  timer_.async_wait([this](const boost::system::error_code& ec) {
    if (!ec) pat();
  });
}

void ServiceNotifier::stopping() { sd_notify(0, "STOPPING=1"); }

}  // namespace kplhost
