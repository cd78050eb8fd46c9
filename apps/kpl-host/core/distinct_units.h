// Each unit once: two devices that name the same unit (ip, port and unit
// identifier) would show one unit's data twice and never poll the unit meant,
// and two devices with one data id make the plug-in's lines ambiguous. Both
// are refused, naming the two devices.
#pragma once

#include <map>
#include <string>
#include <tuple>

#include "apps/kpl-host/core/config.h"

namespace kplhost {

class ConfigReader;

class DistinctUnits {
 public:
  // Takes the device found at `at` ("devices[1]"), or throws ConfigError
  // through the reader when an earlier one has its unit or its data id.
  void add(const ConfigReader& r, const DeviceConfig& dev, const std::string& at);

 private:
  struct Seen {
    std::string at;
    unsigned int device_number;
  };
  std::map<std::tuple<std::string, unsigned short, unsigned char>, Seen> units_;
  std::map<unsigned int, Seen> data_ids_;
};

}  // namespace kplhost
