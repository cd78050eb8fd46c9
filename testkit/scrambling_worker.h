// The threshold worker of a host that does with work items all that the
// contract allows: it keeps a copy of each item and lets the original go at
// once; its own threads run the copies in any order, often several rounds
// late; some rounds get two copies, both run; and what is pending when it is
// told to drop is destroyed unrun.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "host/host_services.h"

class ScramblingWorker final : public Worker {
 public:
  explicit ScramblingWorker(unsigned seed, int threads = 2);
  // Stops the threads and drops what is pending.
  ~ScramblingWorker() override;
  ScramblingWorker(const ScramblingWorker&) = delete;
  ScramblingWorker& operator=(const ScramblingWorker&) = delete;

  void CheckThresholdWork(KPLVDevice& dev, std::function<void()> work) override;
  // Destroys every copy not yet run, on the caller's thread.
  void drop_pending();
  // Stops the threads, dropping what is pending; then the counts are final.
  void stop();

  // Rounds handed over, and those of which some copy ran.
  long rounds() const;
  long rounds_run() const;

 private:
  struct Copy {
    std::function<void()> work;
    std::shared_ptr<std::atomic<bool>> round_ran;
  };
  void serve();

  mutable std::mutex lock_;
  std::condition_variable wake_;
  std::deque<Copy> queue_;
  std::vector<std::shared_ptr<std::atomic<bool>>> rounds_;
  std::mt19937 rng_;
  // Copies held back before the next is taken: a round's work runs that
  // many hand-overs late.
  size_t hold_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};
