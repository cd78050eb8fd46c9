#include "apps/kpl-host/polling/poller.h"

#include "apps/kpl-host/polling/refresh.h"

namespace kplhost {

Poller::Poller(boost::asio::io_context& io, const DeviceRegistry& registry, DeviceCalls& calls,
               std::chrono::milliseconds interval)
    : calls_(calls), interval_(interval) {
  for (const auto& s : registry.slots())
    timers_.push_back(std::make_unique<Timer>(Timer{s.get(), boost::asio::steady_timer(io)}));
}

void Poller::start() {
  const auto now = std::chrono::steady_clock::now();
  const auto n = static_cast<long>(timers_.size());
  for (long i = 0; i < n; ++i) {
    timers_[static_cast<size_t>(i)]->timer.expires_at(now + interval_ * i / n);
    arm(*timers_[static_cast<size_t>(i)]);
  }
}

void Poller::arm(Timer& t) {
  t.timer.async_wait([this, &t](const boost::system::error_code& ec) {
    if (ec || stopped_ || t.slot->failed) return;
    {
      std::lock_guard<std::mutex> g(t.slot->lock);
      refresh_status(*t.slot, calls_);
    }
    // Keep to the schedule; after a stall, skip the polls that were missed
    // instead of firing them all at once.
    auto next = t.timer.expiry() + interval_;
    const auto now = std::chrono::steady_clock::now();
    if (next < now) next = now + interval_;
    t.timer.expires_at(next);
    arm(t);
  });
}

void Poller::stop() {
  stopped_ = true;
  for (auto& t : timers_) t->timer.cancel();
}

}  // namespace kplhost
