#include "apps/kpl-host/polling/publisher.h"

namespace kplhost {

int HostPublisher::SendSP(KPLVDevice& dev, int image_id, const unsigned char* data, int len, bool) {
  DeviceSlot& slot = registry_.of(dev);
  slot.health.published();
  events_.publish(slot, image_id, data, len);
  if (on_round) on_round(slot);
  bool reached;
  {
    std::lock_guard<std::mutex> g(lock_);
    reached = ++slot.published >= awaited_;
  }
  if (reached) progress_.notify_all();
  return 1;
}

int HostPublisher::SaveDeviceHistory(KPLVDevice& dev, const unsigned char* data, int len) {
  if (!history_ || !data || len < 0) return 0;
  history_->save(registry_.of(dev), data, len);
  return 1;
}

bool HostPublisher::wait_for_rounds(long rounds) {
  std::unique_lock<std::mutex> g(lock_);
  awaited_ = rounds;
  // A device that stopped will publish no more; it is looked at again now
  // and then, since nothing wakes this wait when a device stops.
  auto done = [&] {
    if (stopped_) return true;
    if (registry_.slots().empty()) return false;
    for (const auto& s : registry_.slots())
      if (s->published < rounds && !s->failed) return false;
    return true;
  };
  while (!done()) progress_.wait_for(g, std::chrono::milliseconds(250));
  return !stopped_;
}

void HostPublisher::stop() {
  {
    std::lock_guard<std::mutex> g(lock_);
    stopped_ = true;
  }
  progress_.notify_all();
}

}  // namespace kplhost
