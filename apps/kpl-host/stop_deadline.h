// The bound on a stop: once asked to stop, the host ends within it whatever
// the broker, the units or the disk do. The orderly stop (history and event
// stream first, then the broker) keeps well within it; past it the host says
// what it was still doing and ends at once, with status 1, rather than wait
// for a service manager's SIGKILL.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace kplhost {

class StopDeadline {
 public:
  // last_words: the line to print when the bound is reached.
  StopDeadline(std::chrono::milliseconds bound, std::function<std::string()> last_words);
  // Disarms it: the stop ended in time.
  ~StopDeadline();
  StopDeadline(const StopDeadline&) = delete;
  StopDeadline& operator=(const StopDeadline&) = delete;

 private:
  std::mutex lock_;
  std::condition_variable done_;
  bool ended_ = false;
  std::thread thread_;
};

}  // namespace kplhost
