#include "apps/kpl-host/communication_watch.h"

#include <cstdio>

namespace kplhost {

void CommunicationWatch::start() {
  timer_.expires_after(std::chrono::milliseconds(200));
  timer_.async_wait([this](const boost::system::error_code& ec) {
    if (ec) return;
    for (const auto& s : registry_.slots()) check(*s);
    start();
  });
}

void CommunicationWatch::check(DeviceSlot& slot) {
  // A stopped device is reported as such, not as a lost unit.
  if (slot.failed) return;
  const DeviceHealth::Snapshot h = slot.health.snapshot(false);
  const bool lost = h.state == HealthState::offline;
  if (lost == slot.communication_lost) return;
  slot.communication_lost = lost;
  char detail[96];
  if (lost)
    std::snprintf(detail, sizeof detail, "no round for %.1f s; its values are stale", h.data_age_s);
  else
    std::snprintf(detail, sizeof detail, "rounds again");
  events_.communication(slot, lost, detail);
}

}  // namespace kplhost
