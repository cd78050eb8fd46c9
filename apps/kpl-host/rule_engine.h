// The host's threshold rules: an analogue value is in alarm outside the
// limits configured for its name; an alarm point is in alarm when the device
// says so. Each round's results are compared with the last known state of
// every point, and what started or ended is reported.
#pragma once

#include "apps/kpl-host/alarm_state_store.h"
#include "apps/kpl-host/device_slot.h"
#include "apps/kpl-host/host_events.h"
#include "host/host_services.h"

namespace kplhost {

class RuleEngine final : public ThresholdRules {
 public:
  // With a store, each change of a point's alarm state is kept there, so a
  // restarted host knows what it reported.
  RuleEngine(DeviceRegistry& registry, HostEvents& events, AlarmStateStore* store = nullptr)
      : registry_(registry), events_(events), store_(store) {}

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
  AlarmStateStore* store_;
};

// The key under which a point's state is kept: alarm ids repeat in every
// block, so they are told apart by the block's label.
std::string point_key(const rule_value& r);
// The same key, written into a buffer that keeps its room between calls.
void point_key_into(const rule_value& r, std::string& key);

}  // namespace kplhost
