#include "bench/support/device_json.h"

namespace qltbench {

namespace {

Json::Value limits(double min, double max) {
  Json::Value l;
  l["min"] = min;
  l["max"] = max;
  return l;
}

}  // namespace

Json::Value device_json(unsigned int device_number, Blocks blocks, unsigned short port) {
  Json::Value d;
  d["device_number"] = device_number;
  d["data_id"] = device_number + 100;
  d["ip"] = "127.0.0.1";
  d["port"] = port;
  d["addr"] = 1;
  d["appSetting"]["ups"] = blocks.ups;
  d["appSetting"]["ac"] = blocks.ac;
  d["thresholds"]["temperature_1_value"] = limits(5, 35);
  d["thresholds"]["humid_1_value"] = limits(20, 80);
  d["thresholds"]["battery_0_value"]["min"] = 46;
  d["ao_names"].append("temperature_1_value");
  d["ao_names"].append("battery_0_value");
  return d;
}

}  // namespace qltbench
