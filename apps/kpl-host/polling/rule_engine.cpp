#include "apps/kpl-host/polling/rule_engine.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "apps/kpl-host/core/close_match.h"
#include "apps/kpl-host/core/point_key.h"
#include "host/rule_value.h"

namespace kplhost {

namespace {

// A value outside its limits, or one that is not a number while limits are
// set, is in alarm: a sensor that reads nothing must not pass for normal.
bool outside(const Limits& l, float v) {
  if (!l.min && !l.max) return false;
  if (!std::isfinite(v)) return true;
  return (l.min && v < *l.min) || (l.max && v > *l.max);
}

}  // namespace

void RuleEngine::check_point_names(DeviceSlot& slot, const std::vector<rule_value>& records) {
  if (slot.names_checked) return;
  slot.names_checked = true;
  std::vector<std::string_view> names;
  for (const rule_value& r : records)
    if (r.kind == rule_analogue) names.push_back(r.name);
  auto check = [&](const char* key, const std::string& name) {
    if (std::find(names.begin(), names.end(), name) != names.end()) return;
    const std::string_view hint = close_match(name, names.data(), names.data() + names.size());
    events_.unknown_point(slot, key, name, std::string(hint));
  };
  for (const auto& entry : slot.config.thresholds) check("thresholds", entry.first);
  for (const std::string& name : slot.config.ao_names) check("ao_names", name);
}

int RuleEngine::CheckThreshold(KPLVDevice& dev, const std::string& name, const std::string& desc,
                               const float& value, int number) {
  DeviceSlot& slot = registry_.of(dev);
  const float v = value;
  dev.ao_values[name] = v;
  const auto lim = slot.config.thresholds.find(name);
  const bool alarm = lim != slot.config.thresholds.end() && outside(lim->second, v);
  dev.rule_batch.push_back({rule_analogue,
                            name,
                            desc,
                            static_cast<std::uint32_t>(number),
                            value_bits_of(v),
                            {},
                            {},
                            alarm ? rule_in_alarm : rule_normal});
  events_.threshold(slot, name, desc, v, number);
  return alarm ? 0 : 1;
}

int RuleEngine::CheckThresholdBool(KPLVDevice& dev, int one, const std::string& id,
                                   const std::string& code, const std::string& desc,
                                   const std::string& label, bool flag, unsigned short number) {
  DeviceSlot& slot = registry_.of(dev);
  dev.rule_batch.push_back({rule_alarm, id, desc, number, flag ? 1u : 0u, code, label,
                            flag ? rule_in_alarm : rule_normal});
  events_.alarm_point(slot, one, id, code, desc, label, flag, number);
  return flag ? 0 : 1;
}

bool RuleEngine::CheckAOReport(KPLVDevice& dev, const std::string& name, float value) {
  DeviceSlot& slot = registry_.of(dev);
  auto it = slot.last_reported.find(name);
  if (it != slot.last_reported.end() && !(std::fabs(value - it->second) > slot.config.ao_deadband))
    return false;
  slot.last_reported[name] = value;
  return true;
}

bool RuleEngine::DoBatchCheckThreshold(KPLVDevice& dev, const std::vector<rule_value>& records) {
  DeviceSlot& slot = registry_.of(dev);
  check_point_names(slot, records);
  RoundSummary summary{++slot.rounds_checked, records.size(), {}, &records};
  // One buffer for every key, and a node only for a point seen first.
  std::string key;
  for (const rule_value& r : records) {
    const bool now = r.state == rule_in_alarm;
    point_key_into(r, key);
    auto it = slot.in_alarm.find(key);
    const bool first = it == slot.in_alarm.end();
    if (first) it = slot.in_alarm.emplace(key, now).first;
    // A point seen for the first time is news only if it is in alarm.
    if (first ? !now : it->second == now) continue;
    it->second = now;
    AlarmChange c{now, r};
    if (r.kind == rule_analogue) {
      const auto lim = slot.config.thresholds.find(r.name);
      if (lim != slot.config.thresholds.end()) {
        c.has_min = lim->second.min.has_value();
        c.has_max = lim->second.max.has_value();
        c.min = lim->second.min.value_or(0);
        c.max = lim->second.max.value_or(0);
      }
    }
    summary.changes.push_back(std::move(c));
  }
  slot.view.update(summary.round, records);
  events_.round(slot, summary);
  return !summary.changes.empty();
}

}  // namespace kplhost
