// The reference host's configuration file: how often to poll, and the units
// to poll, each with its endpoint, composition and threshold limits. A key the
// host does not know is an error, so that a misspelt one is not silently
// ignored; only appSetting (the plug-in's) and sim (the simulator's) are
// passed on unread.
#pragma once

#include <json/value.h>

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "apps/kpl-host/core/mqtt_config.h"

namespace kplhost {

// A configuration file that cannot be used. The message names the file, the
// key and what was expected.
class ConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Limits {
  std::optional<double> min;
  std::optional<double> max;
};

struct DeviceConfig {
  unsigned int device_number = 0;
  unsigned int data_id = 0;
  std::string ip;
  unsigned short port = 0;
  unsigned char addr = 1;
  // What a person calls the unit and where it stands (UTF-8); empty when
  // not configured.
  std::string name;
  std::string location;
  std::map<std::string, Limits> thresholds;
  std::vector<std::string> ao_names;
  double ao_deadband = 0.5;
  // How long a connection attempt to the unit may take before it counts as failed.
  int connect_timeout_ms = 5000;
  // Passes in a row started again for want of a reply before the connection
  // is taken for dead, dropped and made again.
  int timeouts_before_reconnect = 3;
  // The host's poll interval, and how long without a round before the unit
  // counts as offline and its values as stale.
  int poll_interval_ms = 1000;
  int offline_after_ms = 6000;
  // The whole device object, as handed to the device's Init.
  Json::Value json;
};

struct HostConfig {
  int poll_interval_ms = 1000;
  // Newest images kept per device in the history database.
  int history_keep = 1000;
  // History rows that may wait for the database before the oldest are dropped.
  int history_queue = 10000;
  // The alarm log's bound: rows kept, and days a row is kept.
  int alarm_log_rows = 20000;
  int alarm_log_days = 365;
  std::vector<DeviceConfig> devices;
  // The northbound connection to a broker, when configured.
  std::optional<MqttConfig> mqtt;
};

HostConfig load_config(const std::string& path);
// The same checks on a document already parsed; path names it in messages.
HostConfig parse_config(const Json::Value& doc, const std::string& path);

}  // namespace kplhost
