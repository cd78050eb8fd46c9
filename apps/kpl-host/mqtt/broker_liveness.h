// Whether the broker is still there: a connection counts as alive while the
// broker has said something (an acknowledgement, a keep-alive answer, any
// packet) within one and a half keep-alive periods. The client sends a
// keep-alive request once the broker has been silent for a whole period, so
// a broker that is there always answers within that; one that does not is
// behind a network that drops what it is sent, however open its socket looks.
#pragma once

#include <chrono>

namespace kplhost {

class BrokerLiveness {
 public:
  using Clock = std::chrono::steady_clock;

  explicit BrokerLiveness(std::chrono::seconds keepalive)
      : silence_limit_(std::chrono::duration_cast<Clock::duration>(keepalive) * 3 / 2) {}

  // The broker said something, or a connection to it starts.
  void heard(Clock::time_point now) { last_ = now; }
  bool dead(Clock::time_point now) const { return now - last_ > silence_limit_; }
  Clock::duration silence_limit() const { return silence_limit_; }

 private:
  const Clock::duration silence_limit_;
  Clock::time_point last_{};
};

}  // namespace kplhost
