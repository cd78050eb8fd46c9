#include "apps/qlt-unit-sim/device_config.h"

#include "apps/qlt-unit-sim/json_read.h"

namespace qltsim {

namespace {

UnitConfig read_device(const Json::Value& d, const std::string& where, const std::string& path) {
  if (!d.isObject()) throw_expected(where, "a device object", d);
  UnitConfig cfg;
  for (const char* key : {"device_number", "port"})
    if (!d.isMember(key)) throw_expected(where + "." + key, "a whole number", Json::Value());
  cfg.device_number =
      static_cast<int>(json_int(d["device_number"], where + ".device_number", 0, 0x7FFFFFFF, 0));
  cfg.port = static_cast<unsigned short>(json_int(d["port"], where + ".port", 0, 65535, 0));
  cfg.unit_id = static_cast<std::uint8_t>(json_int(d["addr"], where + ".addr", 0, 255, 1));
  cfg.composition = Composition::from_app_setting(d["appSetting"], where + ".appSetting");
  read_sim_settings(d["sim"], where + ".sim", path, cfg);
  cfg.scenario.check(cfg.composition);
  return cfg;
}

}  // namespace

std::vector<UnitConfig> load_devices(const std::string& path) {
  const Json::Value root = read_json_file(path);
  std::vector<UnitConfig> units;
  try {
    if (!root.isObject()) throw_expected("(top)", "an object with \"devices\"", root);
    const Json::Value& devices = root["devices"];
    if (!devices.isArray() || devices.empty())
      throw_expected("devices", "a non-empty array of device entries", devices);
    for (Json::ArrayIndex i = 0; i < devices.size(); ++i)
      units.push_back(read_device(devices[i], "devices[" + std::to_string(i) + "]", path));
  } catch (const FileConfigError&) {
    throw;
  } catch (const ConfigError& e) {
    throw FileConfigError(path + ": " + e.what());
  }
  return units;
}

}  // namespace qltsim
