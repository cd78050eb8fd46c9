// A problem that lasts: what it is and since when, until it is over. The
// status lines show it while it lasts, so an operator sees the current
// state, not the last thing that ever went wrong.
#pragma once

#include <chrono>
#include <mutex>
#include <string>

namespace kplhost {

class Problem {
 public:
  using Clock = std::chrono::system_clock;

  // Starts the problem, or says more about one that goes on: it keeps the
  // time it started.
  void set(std::string what);
  void clear();
  bool active() const;
  // "none", or "<what> since 2026-12-08 17:05:09 (42 s)".
  std::string text() const;

 private:
  mutable std::mutex lock_;
  std::string what_;
  Clock::time_point since_{};
};

}  // namespace kplhost
