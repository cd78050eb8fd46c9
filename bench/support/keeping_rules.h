// Threshold rules that keep one empty record per point and do nothing else,
// as a host keeps its rule batch, so that what a round allocates beyond the
// do-nothing host is the plug-in's own doing.
#pragma once

#include "host/host_services.h"
#include "host/kpl_vdevice.h"

namespace qltbench {

class KeepingRules final : public ThresholdRules {
 public:
  bool CheckAOReport(KPLVDevice&, const std::string&, float) override { return false; }
  bool DoBatchCheckThreshold(KPLVDevice&, const std::vector<rule_value>&) override {
    return false;
  }
  int CheckThreshold(KPLVDevice& dev, const std::string&, const std::string&, const float&,
                     int) override {
    return keep(dev);
  }
  int CheckThresholdBool(KPLVDevice& dev, int, const std::string&, const std::string&,
                         const std::string&, const std::string&, bool, unsigned short) override {
    return keep(dev);
  }

 private:
  static int keep(KPLVDevice& dev) {
    dev.rule_batch.emplace_back();
    return 1;
  }
};

}  // namespace qltbench
