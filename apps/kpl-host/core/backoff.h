// Delays between attempts that keep failing: the first, then each twice the
// one before, never more than the most; an attempt that succeeds starts over.
#pragma once

#include <algorithm>
#include <chrono>

namespace kplhost {

class Backoff {
 public:
  Backoff(std::chrono::milliseconds first, std::chrono::milliseconds most)
      : first_(first), most_(most), current_(first) {}

  std::chrono::milliseconds next() {
    const auto d = current_;
    current_ = std::min(current_ * 2, most_);
    return d;
  }
  // The delay next() would give, without moving on.
  std::chrono::milliseconds current() const { return current_; }
  void reset() { current_ = first_; }

 private:
  std::chrono::milliseconds first_, most_, current_;
};

}  // namespace kplhost
