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

// What the host keeps on disk, and how much of it: sized for years on a
// controller's small flash disk (docs/disk-and-history.md has the figures).
struct DiskConfig {
  // A device's image is written to the history at most once in this many
  // seconds (0: every round), and at every alarm change.
  int history_interval_s = 600;
  // History images older than this many days are deleted, and the oldest
  // beyond this many megabytes of images.
  int history_keep_days = 90;
  int history_max_mb = 256;
  // History rows that may wait for the database before the oldest are dropped.
  int history_queue = 10000;
  // The event file is rotated past this size, and this many old files kept.
  double events_max_mb = 10;
  int events_keep = 4;
  // The alarm log's bound: rows kept, and days a row is kept.
  int alarm_log_rows = 20000;
  int alarm_log_days = 365;
};

struct HostConfig {
  int poll_interval_ms = 1000;
  DiskConfig disk;
  std::vector<DeviceConfig> devices;
  // The northbound connection to a broker, when configured.
  std::optional<MqttConfig> mqtt;
  // What the host should say about the file as it starts: keys it no longer
  // uses, and what takes their place.
  std::vector<std::string> notes;
};

HostConfig load_config(const std::string& path);
// The same checks on a document already parsed; path names it in messages.
HostConfig parse_config(const Json::Value& doc, const std::string& path);

}  // namespace kplhost
