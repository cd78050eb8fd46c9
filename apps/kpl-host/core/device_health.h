// A device's health as the host sees it from outside the plug-in, through
// the contract alone: the bytes it sends and receives, the passes its
// RefreshStatus says it started, and the images it publishes. A pass runs
// from its start to the next publish; a pass started again before it
// published was restarted. From these the host tells whether the unit is
// online, and whether its values are current.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace kplhost {

enum class HealthState { connecting, online, degraded, offline, failed };
const char* health_state_name(HealthState s);

class DeviceHealth {
 public:
  using Clock = std::chrono::steady_clock;
  using Wall = std::chrono::system_clock;

  // Upper bounds of the pass duration histogram, in seconds.
  static constexpr std::array<double, 11> buckets = {0.01, 0.025, 0.05, 0.1, 0.25, 0.5,
                                                     1,    2.5,   5,    10,  30};

  struct Snapshot {
    HealthState state = HealthState::connecting;
    long rounds = 0;
    bool has_round = false;
    Wall::time_point last_round{};
    // Since the last round, or since the host started when there was none.
    double data_age_s = 0;
    double last_pass_s = 0, p50_pass_s = 0, p99_pass_s = 0;
    long passes_restarted = 0;
    std::uint64_t bytes_in = 0, bytes_out = 0;
    // Cumulative counts per bucket (the last is +Inf), and the sum.
    std::array<long, buckets.size() + 1> histogram{};
    double pass_seconds_sum = 0;
    // Lines of the device's unit suppressed in the last minute for flooding
    // standard output; above 0 the device is degraded.
    long lines_suppressed = 0;
  };

  // offline_after: how long without a round before the unit counts as
  // offline; slow_pass: a pass longer than this makes it degraded.
  DeviceHealth(std::chrono::milliseconds offline_after, std::chrono::milliseconds slow_pass,
               Clock::time_point started = Clock::now());

  void sent(std::size_t bytes);
  void received(std::size_t bytes);
  // RefreshStatus said it started a pass. Returns how many passes in a row
  // were started again since the last publish: each is a reply that did not
  // come within the plug-in's time-out.
  int pass_started(Clock::time_point now = Clock::now());
  // The connection went: an open pass ends with it, not counted as restarted.
  void link_down();
  // The host itself did not run for a while (stopped, paused): the silence
  // is its own, so the unit's is counted again from now.
  void excuse_silence(Clock::time_point now = Clock::now());
  // Lines the unit's traffic caused were suppressed for flooding the output:
  // degraded for the next minute.
  void lines_suppressed(long count, Clock::time_point now = Clock::now());
  void published(Clock::time_point now = Clock::now(), Wall::time_point wall = Wall::now());

  HealthState state(bool failed, Clock::time_point now = Clock::now()) const;
  Snapshot snapshot(bool failed, Clock::time_point now = Clock::now()) const;
  std::chrono::milliseconds offline_after() const { return offline_after_; }

 private:
  HealthState state_locked(bool failed, Clock::time_point now) const;
  bool flooding(Clock::time_point now) const;

  const std::chrono::milliseconds offline_after_;
  const std::chrono::milliseconds slow_pass_;
  const Clock::time_point started_;
  mutable std::mutex lock_;
  bool in_pass_ = false;
  int restarts_in_a_row_ = 0;
  // Silence before this does not count towards offline.
  Clock::time_point excused_until_{};
  Clock::time_point flood_seen_{};
  long flood_lines_ = 0;
  Clock::time_point pass_start_{};
  bool has_round_ = false;
  Clock::time_point last_round_{};
  Wall::time_point last_round_wall_{};
  long rounds_ = 0;
  long restarts_ = 0;
  std::uint64_t bytes_in_ = 0, bytes_out_ = 0;
  // The newest pass durations, for the percentiles, and the restarts of the
  // last minute, for the degraded state.
  std::deque<double> recent_passes_;
  std::deque<Clock::time_point> recent_restarts_;
  std::array<long, buckets.size() + 1> histogram_{};
  double pass_seconds_sum_ = 0;
};

}  // namespace kplhost
