#include "apps/kpl-host/storage/history_keeper.h"

#include "apps/kpl-host/core/device_report.h"
#include "apps/kpl-host/core/device_slot.h"

namespace kplhost {

HistoryKeeper::HistoryKeeper(HistoryRows& out, int interval_s, WallClock clock)
    : out_(out), interval_s_(interval_s), clock_(std::move(clock)) {}

void HistoryKeeper::save(DeviceSlot& slot, const unsigned char* image, int len) {
  const std::int64_t now = unix_seconds(clock_());
  std::lock_guard<std::mutex> g(lock_);
  Kept& k = kept_[&slot];
  k.slot = &slot;
  k.image.assign(image, image + len);
  k.unix_s = now;
  k.written = false;
  // Intervals of the wall clock, not since the last row: every device's
  // row of an interval comes at its start, and the writer takes them
  // together in one transaction.
  const std::int64_t interval = interval_s_ > 0 ? now / interval_s_ : now;
  if (k.alarm_round || interval_s_ == 0 || interval != k.interval) write(k);
  k.alarm_round = false;
}

void HistoryKeeper::round(const DeviceSlot& slot, const RoundSummary& summary) {
  if (summary.changes.empty()) return;
  std::lock_guard<std::mutex> g(lock_);
  kept_[&slot].alarm_round = true;
}

void HistoryKeeper::communication(const DeviceSlot& slot, bool, const std::string&) {
  std::lock_guard<std::mutex> g(lock_);
  const auto it = kept_.find(&slot);
  if (it != kept_.end() && !it->second.written) write(it->second);
}

void HistoryKeeper::flush() {
  std::lock_guard<std::mutex> g(lock_);
  for (auto& [slot, k] : kept_)
    if (!k.written) write(k);
}

void HistoryKeeper::write(Kept& k) {
  k.written = true;
  k.interval = interval_s_ > 0 ? k.unix_s / interval_s_ : k.unix_s;
  HistoryRow row;
  row.device_number = k.slot->config.device_number;
  row.unix_s = k.unix_s;
  row.local_time =
      local_time_text(std::chrono::system_clock::time_point(std::chrono::seconds(k.unix_s)));
  row.image = k.image;
  out_.write(*k.slot, std::move(row));
}

}  // namespace kplhost
