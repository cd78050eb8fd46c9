// The host's threshold rules: an analogue value is in alarm outside the
// limits configured for its name; an alarm point is in alarm when the device
// says so. Each round's results are compared with the last known state of
// every point, and what started or ended is reported.
#pragma once

#include "apps/kpl-host/core/device_slot.h"
#include "apps/kpl-host/core/host_events.h"
#include "host/host_services.h"

namespace kplhost {

class RuleEngine final : public ThresholdRules {
 public:
  RuleEngine(DeviceRegistry& registry, HostEvents& events) : registry_(registry), events_(events) {}

  int CheckThreshold(KPLVDevice& dev, const std::string& name, const std::string& desc,
                     const float& value, int number) override;
  int CheckThresholdBool(KPLVDevice& dev, int one, const std::string& id, const std::string& code,
                         const std::string& desc, const std::string& label, bool flag,
                         unsigned short number) override;
  bool CheckAOReport(KPLVDevice& dev, const std::string& name, float value) override;
  bool DoBatchCheckThreshold(KPLVDevice& dev, const std::vector<rule_value>& records) override;

 private:
  // A threshold or a re-checked value for a name that none of the device's
  // points carries would never fire: reported once, after the first round,
  // when the names are known.
  void check_point_names(DeviceSlot& slot, const std::vector<rule_value>& records);

  DeviceRegistry& registry_;
  HostEvents& events_;
};

}  // namespace kplhost
