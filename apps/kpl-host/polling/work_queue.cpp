#include "apps/kpl-host/polling/work_queue.h"

namespace kplhost {

WorkQueue::WorkQueue(DeviceRegistry& registry, DeviceCalls& calls)
    : registry_(registry), calls_(calls), thread_([this] { run(); }) {}

WorkQueue::~WorkQueue() { drain_and_stop(); }

void WorkQueue::CheckThresholdWork(KPLVDevice& dev, std::function<void()> work) {
  DeviceSlot& slot = registry_.of(dev);
  {
    std::lock_guard<std::mutex> g(lock_);
    if (!stopping_) {
      queue_.emplace_back(&slot, std::move(work));
      wake_.notify_one();
      return;
    }
  }
  // The caller holds the device's lock already.
  calls_.run_anyway(slot, "round work", work);
}

void WorkQueue::post(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> g(lock_);
    if (!stopping_) {
      queue_.emplace_back(nullptr, std::move(task));
      wake_.notify_one();
      return;
    }
  }
  task();
}

void WorkQueue::run() {
  std::unique_lock<std::mutex> g(lock_);
  for (;;) {
    wake_.wait(g, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;
    auto [slot, work] = std::move(queue_.front());
    queue_.pop_front();
    g.unlock();
    // Without the device's lock: a round's work item owns what it reads (the
    // round's records and its copy of the image), so it may run while the
    // next pass goes on, and the disk it waits for (the event stream's
    // forced writes) never holds up the polling.
    if (slot)
      calls_.run_anyway(*slot, "round work", work);
    else
      work();
    // The work item holds the device; let it go before waiting again.
    work = nullptr;
    g.lock();
  }
}

void WorkQueue::drain_and_stop() {
  {
    std::lock_guard<std::mutex> g(lock_);
    stopping_ = true;
    wake_.notify_one();
  }
  if (thread_.joinable()) thread_.join();
}

}  // namespace kplhost
