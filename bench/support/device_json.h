// The device entry every measurement configures: a unit of `ups` UPS and
// `ac` air-conditioner blocks, with the limits and re-checked analogue
// points of the demo configuration, so that the host's rules have work of
// the usual kind to do.
#pragma once

#include <json/value.h>

namespace qltbench {

struct Blocks {
  int ups = 1;
  int ac = 1;
};

Json::Value device_json(unsigned int device_number, Blocks blocks, unsigned short port);

}  // namespace qltbench
