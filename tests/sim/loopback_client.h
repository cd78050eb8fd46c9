// A blocking client of a simulated unit over 127.0.0.1, for tests. Every
// wait is bounded; a wait that runs out returns what arrived so far.
#pragma once

#include <chrono>
#include <cstdint>

#include "testkit/hex.h"

namespace simtest {

using namespace std::chrono_literals;

// A read request: 4-byte items from `start`, `quantity` of them.
Bytes read_request(std::uint16_t tid, std::uint16_t start, std::uint16_t quantity,
                   std::uint8_t func = 3);

class LoopbackClient {
 public:
  explicit LoopbackClient(unsigned short port);
  ~LoopbackClient();
  LoopbackClient(const LoopbackClient&) = delete;
  LoopbackClient& operator=(const LoopbackClient&) = delete;

  void send(const Bytes& b);
  // Exactly n bytes, or fewer if the time runs out or the unit closes.
  Bytes read(std::size_t n, std::chrono::milliseconds within = 5s);
  // What one receive returns once anything has arrived.
  Bytes read_some(std::chrono::milliseconds within = 5s);
  // True when the unit closed the connection within the time.
  bool closed_by_peer(std::chrono::milliseconds within = 5s);

 private:
  // Waits for the socket to become readable; false when the time runs out.
  bool readable(std::chrono::steady_clock::time_point deadline);

  int fd_ = -1;
};

}  // namespace simtest
