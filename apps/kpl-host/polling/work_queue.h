// The threshold worker: one thread that runs each device's round work in
// the order it was handed over.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "apps/kpl-host/core/device_calls.h"
#include "apps/kpl-host/core/device_slot.h"
#include "host/host_services.h"

namespace kplhost {

class WorkQueue final : public Worker {
 public:
  WorkQueue(DeviceRegistry& registry, DeviceCalls& calls);
  ~WorkQueue() override;

  void CheckThresholdWork(KPLVDevice& dev, std::function<void()> work) override;
  // Runs a task of the host's own on the worker, in order with the rounds'
  // work; once stopping, at once on the caller's thread.
  void post(std::function<void()> task);
  // Runs what is queued, then ends the thread. Later work runs at once.
  void drain_and_stop();

 private:
  void run();

  DeviceRegistry& registry_;
  DeviceCalls& calls_;
  std::mutex lock_;
  std::condition_variable wake_;
  std::deque<std::pair<DeviceSlot*, std::function<void()>>> queue_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace kplhost
