// Where a unit reads the time since it started: scenario steps and the
// wobble of analogue values follow it. Tests step a ManualClock instead of
// waiting.
#pragma once

#include <atomic>
#include <chrono>

namespace qltsim {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::chrono::milliseconds elapsed() const = 0;
};

// Real time since construction.
class SteadyClock : public Clock {
 public:
  std::chrono::milliseconds elapsed() const override;

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Stands still until told to move; safe to step from any thread.
class ManualClock : public Clock {
 public:
  std::chrono::milliseconds elapsed() const override {
    return std::chrono::milliseconds(ms_.load());
  }
  void set(std::chrono::milliseconds t) { ms_.store(t.count()); }
  void advance(std::chrono::milliseconds d) { ms_.fetch_add(d.count()); }

 private:
  std::atomic<std::chrono::milliseconds::rep> ms_{0};
};

}  // namespace qltsim
