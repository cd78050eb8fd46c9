#include "apps/kpl-host/core/device_report.h"

#include <ctime>

namespace kplhost {

std::vector<DeviceReport> report_devices(const DeviceRegistry& registry) {
  std::vector<DeviceReport> out;
  out.reserve(registry.slots().size());
  for (const auto& s : registry.slots())
    out.push_back({s.get(), s->health.snapshot(s->failed), s->view.snapshot(), s->connected,
                   s->reconnects, s->history_dropped, s->problem.text()});
  return out;
}

std::string local_time_text(DeviceHealth::Wall::time_point t) {
  const std::time_t secs = DeviceHealth::Wall::to_time_t(t);
  std::tm tm{};
  localtime_r(&secs, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
  return text;
}

}  // namespace kplhost
