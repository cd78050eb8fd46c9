// kpl-host's own Host in this process, with no plug-in and no network: the
// measured device is made by the caller and adopted into the Host's one
// configured unit, so its threshold calls and publishing go through the
// Host's rules, quiet console and publisher (kpl-host --quiet), while its
// sends go nowhere and its round work runs at once on the caller's thread.
#pragma once

#include <memory>

#include "apps/kpl-host/host.h"

namespace qltbench {

class ReferenceBackend {
 public:
  // entry: the config entry of the one unit.
  explicit ReferenceBackend(const Json::Value& entry);

  HostServices services() const;
  // Call after the device's Init, which these services let go nowhere.
  void adopt(std::shared_ptr<KPLSocketDevice> device) { host_->adopt(std::move(device)); }

 private:
  std::unique_ptr<kplhost::Host> host_;
};

}  // namespace qltbench
