// The key under which a point's alarm state is kept: alarm ids repeat in
// every block, so they are told apart by the block's label
// ("UPS1/QLT_0"); an analogue value is its name.
#pragma once

#include <string>

#include "host/rule_value.h"

namespace kplhost {

std::string point_key(const rule_value& r);
// The same key, written into a buffer that keeps its room between calls.
void point_key_into(const rule_value& r, std::string& key);

}  // namespace kplhost
