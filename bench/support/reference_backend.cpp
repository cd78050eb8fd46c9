#include "bench/support/reference_backend.h"

namespace qltbench {

ReferenceBackend::ReferenceBackend(const Json::Value& entry) {
  kplhost::HostOptions options;
  options.config_document["devices"].append(entry);
  options.history = ":memory:";
  options.quiet = true;
  host_ = std::make_unique<kplhost::Host>(options);
}

HostServices ReferenceBackend::services() const {
  HostServices s = host_->services();
  s.transport = HostServices::none()->transport;
  s.worker = HostServices::none()->worker;
  return s;
}

}  // namespace qltbench
