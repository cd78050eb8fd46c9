// Threshold rules that keep one empty record per point and do nothing else,
// as a host keeps its rule batch, so that what a round allocates beyond that
// is the plug-in's own doing.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "host/host_services.h"
#include "host/kpl_vdevice.h"

class KeepingRules final : public ThresholdRules {
 public:
  int CheckThreshold(KPLVDevice& dev, const std::string&, const std::string&, const float&,
                     int) override {
    return keep(dev);
  }
  int CheckThresholdBool(KPLVDevice& dev, int, const std::string&, const std::string&,
                         const std::string&, const std::string&, bool, unsigned short) override {
    return keep(dev);
  }
  bool CheckAOReport(KPLVDevice&, const std::string&, float) override { return false; }
  bool DoBatchCheckThreshold(KPLVDevice&, const std::vector<rule_value>& records) override {
    last_batch = records.size();
    return false;
  }

  // The do-nothing services (HostServices::none()) with these rules.
  HostServices services() {
    HostServices s = *HostServices::none();
    s.rules = this;
    return s;
  }

  // The records of the last batch checked.
  std::size_t last_batch = 0;

 private:
  static int keep(KPLVDevice& dev) {
    dev.rule_batch.emplace_back();
    return 1;
  }
};
