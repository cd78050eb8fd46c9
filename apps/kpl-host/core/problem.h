// A problem that lasts: what it is and since when, until it is over. The
// status lines show it while it lasts, so an operator sees the current
// state, not the last thing that ever went wrong. When it started is shown
// as the wall clock said then; how long it has lasted comes from the
// monotonic clock, so a clock set back or forward never makes it negative.
#pragma once

#include <chrono>
#include <mutex>
#include <string>

namespace kplhost {

class Problem {
 public:
  using Clock = std::chrono::steady_clock;
  using Wall = std::chrono::system_clock;

  // Starts the problem, or says more about one that goes on: it keeps the
  // time it started.
  void set(std::string what, Clock::time_point now = Clock::now(),
           Wall::time_point wall = Wall::now());
  void clear();
  bool active() const;
  // "none", or "<what> since 2026-12-08 17:05:09 (42 s)".
  std::string text(Clock::time_point now = Clock::now()) const;

 private:
  mutable std::mutex lock_;
  std::string what_;
  Clock::time_point since_{};
  Wall::time_point since_wall_{};
};

}  // namespace kplhost
