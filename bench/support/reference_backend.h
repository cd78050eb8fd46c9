// The reference host's own rules, events and publisher, wired as kpl-host
// wires them: events go to a quiet console (kpl-host --quiet), images to the
// history writer when there is one. The transport and worker are the caller's
// choice; by default the do-nothing ones, whose worker runs a round's work
// at once on the caller's thread.
#pragma once

#include <memory>

#include "bench/support/device_json.h"
#include "host/host_services.h"
#include "apps/kpl-host/console.h"
#include "apps/kpl-host/device_slot.h"
#include "apps/kpl-host/device_calls.h"
#include "apps/kpl-host/history_writer.h"
#include "apps/kpl-host/publisher.h"
#include "apps/kpl-host/rule_engine.h"

namespace qltbench {

class ReferenceBackend {
 public:
  explicit ReferenceBackend(kplhost::HistoryStore* history = nullptr);

  // The host services; null arguments take the do-nothing ones.
  HostServices services(Transport* transport = nullptr, Worker* worker = nullptr);
  // Registers a device under the host's reading of its config entry. With a
  // real transport this must come before the device's Init, whose
  // StartSocket looks the device up.
  kplhost::DeviceSlot& adopt(std::shared_ptr<KPLSocketDevice> device, const Json::Value& entry);

  kplhost::DeviceRegistry registry;
  kplhost::Console console{true};
  kplhost::EventFanout events;
  kplhost::DeviceCalls calls{events};
  std::unique_ptr<kplhost::HistoryWriter> history_writer;
  kplhost::RuleEngine rules{registry, events};
  kplhost::HostPublisher publisher;
};

}  // namespace qltbench
