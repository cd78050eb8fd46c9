// Reconnect delays: 500 ms after the first failure, doubling after each
// further one, never more than 30 s; a connection that comes up starts over.
#pragma once

#include <algorithm>
#include <chrono>

namespace kplhost {

class Backoff {
 public:
  static constexpr std::chrono::milliseconds first{500};
  static constexpr std::chrono::milliseconds most{30000};

  std::chrono::milliseconds next() {
    const auto d = current_;
    current_ = std::min(current_ * 2, most);
    return d;
  }
  void reset() { current_ = first; }

 private:
  std::chrono::milliseconds current_ = first;
};

}  // namespace kplhost
