#include "apps/kpl-host/storage/trend_recorder.h"

#include <cmath>

#include "apps/kpl-host/core/device_slot.h"

namespace kplhost {

void TrendRecorder::round(const DeviceSlot& slot, const RoundSummary& summary) {
  if (summary.results) add(slot.config.device_number, *summary.results, unix_seconds(clock_()));
}

TrendRecorder::Series& TrendRecorder::series_for(Device& d, size_t k, const rule_value& r) {
  if (k < d.order.size() && d.series[d.order[k]].name == r.name) return d.series[d.order[k]];
  size_t i = 0;
  while (i < d.series.size() && d.series[i].name != r.name) ++i;
  if (i == d.series.size()) d.series.push_back({r.name, r.desc, {}, {}, 0});
  if (k >= d.order.size()) d.order.resize(k + 1);
  d.order[k] = i;
  return d.series[i];
}

void TrendRecorder::hand_over(unsigned int device, const Series& s, bool hourly, Bucket& b) {
  if (b.value.samples == 0) return;
  if (pending_.size() >= waiting_rows) {
    const size_t drop = pending_.size() / 4;
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(drop));
    dropped_ += static_cast<long>(drop);
  }
  pending_.push_back({device, s.name, s.desc, hourly, b.t, b.value});
  b.value = {};
}

void TrendRecorder::add(unsigned int device_number, const std::vector<rule_value>& records,
                        std::int64_t unix_s) {
  const std::int64_t minute = unix_s - unix_s % 60, hour = unix_s - unix_s % 3600;
  std::lock_guard<std::mutex> g(lock_);
  Device& d = devices_[device_number];
  ++d.rounds;
  size_t k = 0;
  for (const rule_value& r : records) {
    if (r.kind != rule_analogue) continue;
    Series& s = series_for(d, k++, r);
    if (s.round == d.rounds) continue;
    s.round = d.rounds;
    // A sensor that reads nothing has no place in a minimum or a mean.
    const float v = value_of_bits(r.value_bits);
    if (!std::isfinite(v)) continue;
    if (s.minute.t != minute) {
      hand_over(device_number, s, false, s.minute);
      s.minute.t = minute;
    }
    if (s.hour.t != hour) {
      hand_over(device_number, s, true, s.hour);
      s.hour.t = hour;
    }
    s.minute.value.add(v);
    s.hour.value.add(v);
  }
}

std::vector<TrendRow> TrendRecorder::take(bool everything) {
  std::lock_guard<std::mutex> g(lock_);
  for (auto& [number, d] : devices_)
    for (Series& s : d.series) {
      hand_over(number, s, false, s.minute);
      if (everything) hand_over(number, s, true, s.hour);
    }
  std::vector<TrendRow> rows;
  rows.swap(pending_);
  return rows;
}

long TrendRecorder::rows_dropped() const {
  std::lock_guard<std::mutex> g(lock_);
  return dropped_;
}

std::vector<TrendRow> TrendRecorder::peek(unsigned int device_number,
                                          const std::string& point) const {
  std::lock_guard<std::mutex> g(lock_);
  std::vector<TrendRow> rows;
  for (const TrendRow& r : pending_)
    if (r.device_number == device_number && r.point == point) rows.push_back(r);
  const auto d = devices_.find(device_number);
  if (d == devices_.end()) return rows;
  for (const Series& s : d->second.series) {
    if (s.name != point) continue;
    if (s.minute.value.samples)
      rows.push_back({device_number, s.name, s.desc, false, s.minute.t, s.minute.value});
    if (s.hour.value.samples)
      rows.push_back({device_number, s.name, s.desc, true, s.hour.t, s.hour.value});
  }
  return rows;
}

}  // namespace kplhost
