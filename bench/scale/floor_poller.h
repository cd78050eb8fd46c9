// The floor of polling many units: one thread, one epoll set, one
// non-blocking socket per unit, each unit's requests sent one after another
// on the same schedule the host keeps (every unit once per interval, the
// units spread over it), and nothing done with the replies but reading them.
#pragma once

#include <chrono>
#include <ctime>
#include <map>
#include <utility>
#include <vector>

#include "link/frames.h"

namespace qltbench {

struct PolledUnit {
  unsigned int device_number;
  unsigned short port;
};

class FloorPoller {
 public:
  // Connects to every unit; throws std::runtime_error when one cannot be reached.
  FloorPoller(const std::vector<PolledUnit>& units, std::vector<rdu_read> requests,
              std::chrono::milliseconds interval);
  ~FloorPoller();
  FloorPoller(const FloorPoller&) = delete;
  FloorPoller& operator=(const FloorPoller&) = delete;

  // Polls until the deadline.
  void run_until(std::chrono::steady_clock::time_point deadline);
  // Each completed pass: the device and the wall-clock second it completed in.
  const std::vector<std::pair<unsigned int, std::time_t>>& passes() const { return passes_; }

 private:
  struct Link {
    unsigned int device_number = 0;
    int fd = -1;
    // The batch awaited, or -1 between passes.
    int batch = -1;
    size_t have = 0;
    unsigned char buf[512];
  };
  void start_pass(Link& l);
  void readable(Link& l);

  std::vector<rdu_read> requests_;
  std::chrono::milliseconds interval_;
  std::vector<Link> links_;
  int epoll_fd_ = -1;
  std::vector<std::pair<unsigned int, std::time_t>> passes_;
};

}  // namespace qltbench
