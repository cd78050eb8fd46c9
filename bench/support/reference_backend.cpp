#include "bench/support/reference_backend.h"

#include "apps/kpl-host/config.h"

namespace qltbench {

ReferenceBackend::ReferenceBackend(kplhost::HistoryStore* history)
    : history_writer(history ? std::make_unique<kplhost::HistoryWriter>(*history, 10000, events)
                             : nullptr),
      publisher(registry, events, history_writer.get()) {
  events.add(&console);
}

HostServices ReferenceBackend::services(Transport* transport, Worker* worker) {
  HostServices* none = HostServices::fallback();
  return HostServices{transport ? transport : none->transport, &rules,
                      worker ? worker : none->worker, &publisher};
}

kplhost::DeviceSlot& ReferenceBackend::adopt(std::shared_ptr<KPLSocketDevice> device,
                                             const Json::Value& entry) {
  Json::Value doc;
  doc["devices"].append(entry);
  kplhost::HostConfig cfg = kplhost::parse_config(doc, "(measurement)");
  kplhost::DeviceSlot& slot = registry.add(std::move(cfg.devices.front()));
  slot.device = std::move(device);
  registry.bind(slot);
  return slot;
}

}  // namespace qltbench
