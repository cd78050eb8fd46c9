// The host's northbound MQTT connection, as the "mqtt" object of the config
// file sets it.
#pragma once

#include <json/value.h>

#include <optional>
#include <string>

namespace kplhost {

class ConfigReader;

struct MqttConfig {
  std::string host;
  int port = 1883;
  std::string client_id;
  // Every topic starts with it: "<topic_prefix>/status", ...
  std::string topic_prefix;
  std::optional<std::string> username, password;
  bool tls = false;
  std::string ca_file, cert_file, key_file;
  int keepalive_s = 30;
  // Each round's analogue values on <prefix>/devices/<n>/values.
  bool publish_values = true;
  // Alarm changes kept for the broker; past this the oldest are dropped.
  long outbox_limit = 100000;
};

// Reads the object at "mqtt"; throws ConfigError through the reader.
MqttConfig parse_mqtt(const ConfigReader& r, const Json::Value& v);

// "kpl-<host name>": unique per controller, stable across restarts.
std::string default_client_id();

}  // namespace kplhost
