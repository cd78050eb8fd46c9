#include "apps/kpl-host/core/mqtt_config.h"

#include <unistd.h>

#include <climits>

#include "apps/kpl-host/core/config_reader.h"

namespace kplhost {

namespace {

constexpr std::string_view mqtt_keys[] = {
    "host",     "port", "client_id",   "topic_prefix",   "username",
    "password", "tls",  "keepalive_s", "publish_values", "outbox_limit"};
constexpr std::string_view tls_keys[] = {"ca_file", "cert_file", "key_file"};

std::string text(const ConfigReader& r, const Json::Value& v, const std::string& key) {
  if (!v.isString() || v.asString().empty()) r.fail(key, "a non-empty string", &v);
  return v.asString();
}

std::optional<std::string> optional_text(const ConfigReader& r, const Json::Value& obj,
                                         const char* name, const std::string& key) {
  if (obj[name].isNull()) return std::nullopt;
  return text(r, obj[name], key);
}

}  // namespace

std::string default_client_id() {
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "kpl-host";
  return std::string("kpl-") + name;
}

MqttConfig parse_mqtt(const ConfigReader& r, const Json::Value& v) {
  r.object(v, "mqtt");
  r.only_keys(v, "mqtt", mqtt_keys);
  MqttConfig c;
  if (v["host"].isNull()) r.fail("mqtt.host", "the broker's host name or address");
  c.host = text(r, v["host"], "mqtt.host");

  const Json::Value& tls = v["tls"];
  if (!tls.isNull()) {
    r.object(tls, "mqtt.tls");
    r.only_keys(tls, "mqtt.tls", tls_keys);
    c.tls = true;
    if (tls["ca_file"].isNull())
      r.fail("mqtt.tls.ca_file", "the file of the CA that signed the broker");
    c.ca_file = text(r, tls["ca_file"], "mqtt.tls.ca_file");
    c.cert_file = optional_text(r, tls, "cert_file", "mqtt.tls.cert_file").value_or("");
    c.key_file = optional_text(r, tls, "key_file", "mqtt.tls.key_file").value_or("");
    if (c.cert_file.empty() != c.key_file.empty())
      r.fail("mqtt.tls", "cert_file and key_file together, or neither");
  }
  c.port = static_cast<int>(r.integer_or(v, "port", "mqtt.port", 1, 65535, c.tls ? 8883 : 1883));
  c.client_id =
      v["client_id"].isNull() ? default_client_id() : text(r, v["client_id"], "mqtt.client_id");
  c.topic_prefix = v["topic_prefix"].isNull() ? "kpl/" + c.client_id
                                              : text(r, v["topic_prefix"], "mqtt.topic_prefix");
  if (c.topic_prefix.find_first_of("#+") != std::string::npos || c.topic_prefix.back() == '/')
    r.fail("mqtt.topic_prefix", "a topic without wildcards or a trailing /", &v["topic_prefix"]);
  c.username = optional_text(r, v, "username", "mqtt.username");
  c.password = optional_text(r, v, "password", "mqtt.password");
  if (c.password && !c.username) r.fail("mqtt.password", "a username with it");
  c.keepalive_s = static_cast<int>(r.integer_or(v, "keepalive_s", "mqtt.keepalive_s", 5, 3600, 30));
  const Json::Value& values = v["publish_values"];
  if (!values.isNull() && !values.isBool()) r.fail("mqtt.publish_values", "true or false", &values);
  c.publish_values = values.isNull() || values.asBool();
  c.outbox_limit = static_cast<long>(
      r.integer_or(v, "outbox_limit", "mqtt.outbox_limit", 10, 10000000, c.outbox_limit));
  return c;
}

}  // namespace kplhost
