// Publishing and history: a published image goes to the event stream and
// counts as a round done; a saved image is handed to the history.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include "apps/kpl-host/core/device_slot.h"
#include "apps/kpl-host/core/history_sink.h"
#include "apps/kpl-host/core/host_events.h"
#include "host/host_services.h"

namespace kplhost {

class HostPublisher final : public Publisher {
 public:
  HostPublisher(DeviceRegistry& registry, HostEvents& events, HistorySink* history)
      : registry_(registry), events_(events), history_(history) {}

  int SendSP(KPLVDevice& dev, int image_id, const unsigned char* data, int len,
             bool changed_only) override;
  int SaveDeviceHistory(KPLVDevice& dev, const unsigned char* data, int len) override;

  // Told of every round published, on the thread that published it.
  std::function<void(DeviceSlot&)> on_round;

  // Waits until every device has published at least rounds images, or until
  // stop() is called; returns true in the first case.
  bool wait_for_rounds(long rounds);
  void stop();

 private:
  DeviceRegistry& registry_;
  HostEvents& events_;
  HistorySink* history_;
  std::mutex lock_;
  std::condition_variable progress_;
  // The count wait_for_rounds waits for: a publish wakes it only once its
  // device has reached that count.
  long awaited_ = 0;
  bool stopped_ = false;
};

}  // namespace kplhost
