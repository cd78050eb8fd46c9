#include "testkit/scrambling_worker.h"

#include <chrono>

ScramblingWorker::ScramblingWorker(unsigned seed, int threads) : rng_(seed) {
  for (int i = 0; i < threads; ++i) threads_.emplace_back([this] { serve(); });
}

ScramblingWorker::~ScramblingWorker() { stop(); }

void ScramblingWorker::stop() {
  {
    std::lock_guard<std::mutex> g(lock_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : threads_)
    if (t.joinable()) t.join();
  drop_pending();
}

void ScramblingWorker::CheckThresholdWork(KPLVDevice&, std::function<void()> work) {
  {
    std::lock_guard<std::mutex> g(lock_);
    auto ran = std::make_shared<std::atomic<bool>>(false);
    rounds_.push_back(ran);
    const int copies = rng_() % 8 == 0 ? 2 : 1;
    for (int i = 0; i < copies; ++i) queue_.push_back({work, ran});
  }
  wake_.notify_one();
  // The original goes here, before any copy has run.
}

void ScramblingWorker::drop_pending() {
  std::deque<Copy> dropped;
  {
    std::lock_guard<std::mutex> g(lock_);
    dropped.swap(queue_);
  }
}

long ScramblingWorker::rounds() const {
  std::lock_guard<std::mutex> g(lock_);
  return static_cast<long>(rounds_.size());
}

long ScramblingWorker::rounds_run() const {
  std::lock_guard<std::mutex> g(lock_);
  long n = 0;
  for (const auto& r : rounds_) n += r->load() ? 1 : 0;
  return n;
}

void ScramblingWorker::serve() {
  std::unique_lock<std::mutex> g(lock_);
  for (;;) {
    // Waits for more than it holds back, but not for ever: a device that
    // stops delivering rounds still gets its last ones run.
    wake_.wait_for(g, std::chrono::milliseconds(20),
                   [this] { return stopping_ || queue_.size() > hold_; });
    if (stopping_) return;
    if (queue_.empty()) continue;
    const size_t at = rng_() % queue_.size();
    Copy copy = std::move(queue_[at]);
    queue_.erase(queue_.begin() + static_cast<long>(at));
    hold_ = rng_() % 8;
    g.unlock();
    copy.round_ran->store(true);
    copy.work();
    copy = Copy{};
    g.lock();
  }
}
