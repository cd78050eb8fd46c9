#include "apps/kpl-host/core/point_key.h"

namespace kplhost {

std::string point_key(const rule_value& r) {
  std::string key;
  point_key_into(r, key);
  return key;
}

void point_key_into(const rule_value& r, std::string& key) {
  if (r.kind != rule_alarm) {
    key = r.name;
    return;
  }
  key.assign(r.label).append(1, '/').append(r.name);
}

}  // namespace kplhost
