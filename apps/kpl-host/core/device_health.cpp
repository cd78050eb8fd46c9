#include "apps/kpl-host/core/device_health.h"

#include <algorithm>

namespace kplhost {

namespace {

constexpr size_t window_passes = 100;
constexpr auto restart_window = std::chrono::seconds(60);

double seconds(DeviceHealth::Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The q-quantile of the values, nearest rank.
double quantile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t rank = static_cast<size_t>(q * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(rank, v.size() - 1)];
}

}  // namespace

const char* health_state_name(HealthState s) {
  switch (s) {
    case HealthState::connecting:
      return "connecting";
    case HealthState::online:
      return "online";
    case HealthState::degraded:
      return "degraded";
    case HealthState::offline:
      return "offline";
    case HealthState::failed:
      return "failed";
  }
  return "unknown";
}

DeviceHealth::DeviceHealth(std::chrono::milliseconds offline_after,
                           std::chrono::milliseconds slow_pass, Clock::time_point started)
    : offline_after_(offline_after), slow_pass_(slow_pass), started_(started) {}

void DeviceHealth::sent(std::size_t bytes) {
  std::lock_guard<std::mutex> g(lock_);
  bytes_out_ += bytes;
}

int DeviceHealth::pass_started(Clock::time_point now) {
  std::lock_guard<std::mutex> g(lock_);
  if (in_pass_) {
    ++restarts_;
    ++restarts_in_a_row_;
    recent_restarts_.push_back(now);
    while (now - recent_restarts_.front() > restart_window) recent_restarts_.pop_front();
  }
  in_pass_ = true;
  pass_start_ = now;
  return restarts_in_a_row_;
}

void DeviceHealth::link_down() {
  std::lock_guard<std::mutex> g(lock_);
  in_pass_ = false;
  restarts_in_a_row_ = 0;
}

void DeviceHealth::excuse_silence(Clock::time_point now) {
  std::lock_guard<std::mutex> g(lock_);
  excused_until_ = now;
}

void DeviceHealth::lines_suppressed(long count, Clock::time_point now) {
  std::lock_guard<std::mutex> g(lock_);
  flood_seen_ = now;
  flood_lines_ = count;
}

void DeviceHealth::received(std::size_t bytes) {
  std::lock_guard<std::mutex> g(lock_);
  bytes_in_ += bytes;
}

void DeviceHealth::published(Clock::time_point now, Wall::time_point wall) {
  std::lock_guard<std::mutex> g(lock_);
  ++rounds_;
  has_round_ = true;
  last_round_ = now;
  last_round_wall_ = wall;
  restarts_in_a_row_ = 0;
  if (!in_pass_) return;
  in_pass_ = false;
  const double s = seconds(now - pass_start_);
  recent_passes_.push_back(s);
  if (recent_passes_.size() > window_passes) recent_passes_.pop_front();
  size_t b = 0;
  while (b < buckets.size() && s > buckets[b]) ++b;
  for (size_t i = b; i < histogram_.size(); ++i) ++histogram_[i];
  pass_seconds_sum_ += s;
}

bool DeviceHealth::flooding(Clock::time_point now) const {
  return flood_lines_ > 0 && now - flood_seen_ < restart_window;
}

HealthState DeviceHealth::state(bool failed, Clock::time_point now) const {
  std::lock_guard<std::mutex> g(lock_);
  return state_locked(failed, now);
}

HealthState DeviceHealth::state_locked(bool failed, Clock::time_point now) const {
  if (failed) return HealthState::failed;
  const Clock::time_point since = std::max(has_round_ ? last_round_ : started_, excused_until_);
  if (now - since > offline_after_) return HealthState::offline;
  if (!has_round_) return HealthState::connecting;
  const bool restarted = std::any_of(recent_restarts_.begin(), recent_restarts_.end(),
                                     [&](Clock::time_point t) { return now - t < restart_window; });
  const bool slow = !recent_passes_.empty() &&
                    recent_passes_.back() > std::chrono::duration<double>(slow_pass_).count();
  return restarted || slow || flooding(now) ? HealthState::degraded : HealthState::online;
}

DeviceHealth::Snapshot DeviceHealth::snapshot(bool failed, Clock::time_point now) const {
  std::lock_guard<std::mutex> g(lock_);
  Snapshot s;
  s.state = state_locked(failed, now);
  s.rounds = rounds_;
  s.has_round = has_round_;
  s.last_round = last_round_wall_;
  s.data_age_s = seconds(now - (has_round_ ? last_round_ : started_));
  const std::vector<double> passes(recent_passes_.begin(), recent_passes_.end());
  s.last_pass_s = passes.empty() ? 0 : passes.back();
  s.p50_pass_s = quantile(passes, 0.5);
  s.p99_pass_s = quantile(passes, 0.99);
  s.passes_restarted = restarts_;
  s.bytes_in = bytes_in_;
  s.bytes_out = bytes_out_;
  s.histogram = histogram_;
  s.pass_seconds_sum = pass_seconds_sum_;
  s.lines_suppressed = flooding(now) ? flood_lines_ : 0;
  return s;
}

}  // namespace kplhost
