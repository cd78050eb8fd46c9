// The reference host's configuration file: every problem names the file,
// the key and what was expected.

#include "apps/kpl-host/core/config.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string_view>

#include "apps/kpl-host/core/close_match.h"
#include "apps/kpl-host/core/endpoint_text.h"
#include "testkit/temp_path.h"

namespace {

using kplhost::ConfigError;
using kplhost::load_config;

class ConfigFile : public ::testing::Test {
 protected:
  std::string write(const std::string& text) {
    std::ofstream(path) << text;
    return path;
  }
  // The message load_config gives for text, or "" when it accepts it.
  std::string problem(const std::string& text) {
    try {
      load_config(write(text));
      return "";
    } catch (const ConfigError& e) {
      return e.what();
    }
  }
  void TearDown() override { std::remove(path.c_str()); }
  std::string path = unique_temp_path(".json");
};

const char* device(const char* extra = "") {
  static std::string s;
  s = std::string(R"({"devices":[{"device_number":7,"ip":"127.0.0.1","port":1502)") + extra + "}]}";
  return s.c_str();
}

// A document with top-level keys `extra` (each followed by a comma) and one device.
std::string top(const std::string& extra) {
  return "{" + extra + R"("devices":[{"device_number":7,"ip":"::1","port":1}]})";
}

TEST_F(ConfigFile, MinimalDeviceTakesTheDefaults) {
  const auto cfg = load_config(write(device()));
  EXPECT_EQ(cfg.poll_interval_ms, 1000);
  EXPECT_EQ(cfg.disk.history_queue, 10000);
  EXPECT_EQ(cfg.disk.history_interval_s, 600);
  EXPECT_EQ(cfg.disk.history_keep_days, 90);
  EXPECT_EQ(cfg.disk.history_max_mb, 256);
  EXPECT_DOUBLE_EQ(cfg.disk.events_max_mb, 10);
  EXPECT_EQ(cfg.disk.events_keep, 4);
  EXPECT_TRUE(cfg.notes.empty());
  ASSERT_EQ(cfg.devices.size(), 1u);
  const auto& d = cfg.devices[0];
  EXPECT_EQ(d.device_number, 7u);
  EXPECT_EQ(d.data_id, 7u);
  EXPECT_EQ(d.addr, 1);
  EXPECT_EQ(d.json["addr"].asInt(), 1);
  EXPECT_EQ(d.connect_timeout_ms, 5000);
  EXPECT_DOUBLE_EQ(d.ao_deadband, 0.5);
  EXPECT_EQ(d.json["port"].asInt(), 1502);
  EXPECT_EQ(d.offline_after_ms, 6000);
  // A reply time-out the device will not take leaves the default in the
  // offline delay: 3 polls of 1000 ms and 3000 ms.
  const auto huge = load_config(write(device(R"(,"appSetting":{"reply_timeout_ms":1e19})")));
  EXPECT_EQ(huge.devices[0].offline_after_ms, 6000);
}

TEST_F(ConfigFile, FullDevice) {
  const auto cfg = load_config(write(
      device(R"(,"data_id":107,"addr":3,"appSetting":{"ups":1},"ao_names":["temperature_1_value"],)"
             R"("ao_deadband":1.5,"thresholds":{"temperature_1_value":{"min":5,"max":35},)"
             R"("water_value":{"max":0.5}},"connect_timeout_ms":600000,)"
             R"("sim":{"vary":true,"faults":"any"})")));
  const auto& d = cfg.devices[0];
  EXPECT_EQ(d.data_id, 107u);
  EXPECT_EQ(d.addr, 3);
  EXPECT_EQ(d.connect_timeout_ms, 600000);
  EXPECT_EQ(d.json["sim"]["faults"].asString(), "any");
  EXPECT_EQ(d.ao_names, std::vector<std::string>{"temperature_1_value"});
  EXPECT_EQ(*d.thresholds.at("temperature_1_value").min, 5);
  EXPECT_FALSE(d.thresholds.at("water_value").min.has_value());
  EXPECT_EQ(d.json["appSetting"]["ups"].asInt(), 1);
  EXPECT_EQ(d.name, "");
  EXPECT_EQ(cfg.disk.alarm_log_rows, 20000);
  EXPECT_EQ(cfg.disk.alarm_log_days, 365);
  const auto named = load_config(write(
      device(R"(,"name":"UPS \"A\" \\ 电池柜","location":"机房 2 <b>","appSetting":{"name":1})")));
  EXPECT_EQ(named.devices[0].name, "UPS \"A\" \\ 电池柜");
  EXPECT_EQ(named.devices[0].location, "机房 2 <b>");
}

TEST_F(ConfigFile, TopLevelConnectTimeoutIsEachDevicesDefault) {
  const auto cfg = load_config(
      write(R"({"connect_timeout_ms":100,"history_queue":10000000,"timeouts_before_reconnect":5,)"
            R"("devices":[{"device_number":7,"ip":"::1","port":1},)"
            R"({"device_number":8,"ip":"unit-8.site","port":2,"connect_timeout_ms":900,)"
            R"("timeouts_before_reconnect":1}]})"));
  EXPECT_EQ(cfg.disk.history_queue, 10000000);
  EXPECT_EQ(cfg.devices[0].connect_timeout_ms, 100);
  EXPECT_EQ(cfg.devices[1].connect_timeout_ms, 900);
  EXPECT_EQ(cfg.devices[0].timeouts_before_reconnect, 5);
  EXPECT_EQ(cfg.devices[1].timeouts_before_reconnect, 1);
  EXPECT_EQ(cfg.devices[1].ip, "unit-8.site");
  EXPECT_EQ(load_config(write(device())).devices[0].timeouts_before_reconnect, 3);
  // Wherever an endpoint is written, an IPv6 address is in brackets.
  EXPECT_EQ(kplhost::endpoint_text("::1", 15091), "[::1]:15091");
  EXPECT_EQ(kplhost::endpoint_text("unit-8.site", 502), "unit-8.site:502");
}

// What the host keeps on disk; history_keep, from an earlier release, still
// starts the host, with a note that it is no longer used.
TEST_F(ConfigFile, DiskKeysAndTheKeyTheyReplace) {
  const auto cfg = load_config(write(
      top(R"("history_interval_s":0,"history_keep_days":7,"history_max_mb":64,"events_max_mb":0.5,)"
          R"("events_keep":2,"history_keep":1000,)")));
  EXPECT_EQ(cfg.disk.history_interval_s, 0);
  EXPECT_EQ(cfg.disk.history_keep_days, 7);
  EXPECT_EQ(cfg.disk.history_max_mb, 64);
  EXPECT_DOUBLE_EQ(cfg.disk.events_max_mb, 0.5);
  EXPECT_EQ(cfg.disk.events_keep, 2);
  ASSERT_EQ(cfg.notes.size(), 1u);
  EXPECT_EQ(cfg.notes[0],
            "history_keep is no longer used: the history keeps images for history_keep_days (7) "
            "within history_max_mb (64); remove it from the configuration");
}

TEST_F(ConfigFile, ProblemsNameFileKeyAndExpectation) {
  const std::string f = path + ": ";
  struct Case {
    std::string text;
    std::string message;
  } cases[] = {
      {"[1]", f + "the document: expected an object, got an array"},
      {"{}", f + "devices: expected an array of device objects, got nothing"},
      {R"({"devices":{}})", f + "devices: expected an array of device objects, got an object"},
      {R"({"devices":[5]})", f + "devices[0]: expected an object, got 5"},
      {R"({"devices":[{"device_number":7,"ip":"127.0.0.1","port":70000}]})",
       f + "devices[0].port: expected an integer from 1 to 65535, got 70000"},
      {R"({"devices":[{"device_number":7,"ip":"127.0.0.1","port":"1502"}]})",
       f + "devices[0].port: expected an integer from 1 to 65535, got \"1502\""},
      {R"({"devices":[{"device_number":7,"ip":"127.0.0.1"}]})",
       f + "devices[0].port: expected an integer from 1 to 65535"},
      {R"({"devices":[{"device_number":7,"ip":"unit_7","port":1}]})",
       f + "devices[0].ip: expected an IPv4 or IPv6 address, or a host name, got \"unit_7\""},
      {R"({"devices":[{"device_number":7,"ip":"-unit.site","port":1}]})",
       f + "devices[0].ip: expected an IPv4 or IPv6 address, or a host name, got \"-unit.site\""},
      // One unit under two numbers, spelt differently; one data id twice.
      {R"({"devices":[{"device_number":7,"ip":"::1","port":2},{"device_number":8,"ip":"0::1","port":2}]})",
       f + "devices[1]: expected a unit no other device polls; device 8 (devices[1]) and device 7 "
           "(devices[0]) both name [0::1]:2 addr 1"},
      {R"({"devices":[{"device_number":7,"ip":"Unit-7.","port":2,"addr":3},{"device_number":8,"ip":"unit-7","port":2,"addr":3}]})",
       f + "devices[1]: expected a unit no other device polls; device 8 (devices[1]) and device 7 "
           "(devices[0]) both name unit-7:2 addr 3"},
      {R"({"devices":[{"device_number":7,"data_id":9,"ip":"::1","port":2},{"device_number":9,"ip":"::1","port":3}]})",
       f + "devices[1].data_id: expected a data id no other device has; device 9 (devices[1]) and "
           "device 7 (devices[0]) both have 9"},
      {top(R"("timeouts_before_reconnect":0,)"),
       f + "timeouts_before_reconnect: expected an integer from 1 to 1000, got 0"},
      // Bytes that are not UTF-8 would go verbatim into the JSON of the API.
      {"{\"devices\":[],\"x\":\"caf\xc3\xa9 \xe9\"}",
       f + "not UTF-8: the byte at offset 25 does not belong to a UTF-8 character; save the file "
           "as "
           "UTF-8"},
      {"{\"devices\":[]} \xed\xa0\x80", f + "not UTF-8: the byte at offset 15 does not belong to a "
                                            "UTF-8 character; save the file as "
                                            "UTF-8"},
      {R"({"devices":[{"device_number":-7,"ip":"::1","port":1}]})",
       f + "devices[0].device_number: expected an integer from 0 to 4294967295, got -7"},
      {device(R"(,"addr":256)"), f + "devices[0].addr: expected an integer from 0 to 255, got 256"},
      // Whole numbers past 64 bits are refused like any other out of range.
      {device(R"(,"addr":18446744073709551615)"),
       f + "devices[0].addr: expected an integer from 0 to 255, got 18446744073709551615"},
      {R"({"devices":[{"device_number":7,"ip":"::1","port":1e19}]})",
       f + "devices[0].port: expected an integer from 1 to 65535, got 1e+19"},
      {device(R"(,"appSetting":[1])"),
       f + "devices[0].appSetting: expected an object, got an array"},
      {device(R"(,"thresholds":{"t":{"min":"low"}})"),
       f + "devices[0].thresholds.t.min: expected a number, got \"low\""},
      {device(R"(,"thresholds":{"t":{"min":9,"max":1}})"),
       f + "devices[0].thresholds.t: expected min no greater than max"},
      {device(R"(,"ao_names":["a",2])"),
       f + "devices[0].ao_names[1]: expected a point name, got 2"},
      {device(R"(,"ao_deadband":-1)"),
       f + "devices[0].ao_deadband: expected a number of 0 or more, got -1"},
      {R"({"poll_interval_ms":0,"devices":[{"device_number":7,"ip":"::1","port":1}]})",
       f + "poll_interval_ms: expected an integer from 10 to 3600000, got 0"},
      {R"({"devices":[{"device_number":7,"ip":"::1","port":1},{"device_number":7,"ip":"::1","port":2}]})",
       f + "devices[1].device_number: expected a number no other device has, got 7"},
      {top(R"("connect_timeout_ms":99,)"),
       f + "connect_timeout_ms: expected an integer from 100 to 600000, got 99"},
      {device(R"(,"connect_timeout_ms":600001)"),
       f + "devices[0].connect_timeout_ms: expected an integer from 100 to 600000, got 600001"},
      {top(R"("history_queue":9,)"),
       f + "history_queue: expected an integer from 10 to 10000000, got 9"},
      {top(R"("history_queue":10000001,)"),
       f + "history_queue: expected an integer from 10 to 10000000, got 10000001"},
      {top(R"("history_interval_s":-1,)"),
       f + "history_interval_s: expected an integer from 0 to 86400, got -1"},
      {top(R"("history_keep_days":0,)"),
       f + "history_keep_days: expected an integer from 1 to 36500, got 0"},
      {top(R"("history_max_mb":0.5,)"),
       f + "history_max_mb: expected an integer from 1 to 1000000, got 0.5"},
      {top(R"("events_max_mb":0.001,)"),
       f + "events_max_mb: expected a number from 0.01 to 100000, got 0.001"},
      {top(R"("events_keep":0,)"), f + "events_keep: expected an integer from 1 to 100, got 0"},
      {top(R"("history_keep":0,)"),
       f + "history_keep: expected an integer from 1 to 100000000, got 0"},
      // An unknown key is reported before any value is read: here, before the missing devices.
      {R"({"poll_intervall_ms":100})",
       f + "poll_intervall_ms: unknown key; did you mean poll_interval_ms?"},
      {top(R"("histroy_kep":5,)"), f + "histroy_kep: unknown key; did you mean history_keep?"},
      {device(R"(,"appsetting":{})"),
       f + "devices[0].appsetting: unknown key; did you mean appSetting?"},
      {device(R"(,"adrd":2)"), f + "devices[0].adrd: unknown key; did you mean addr?"},
      {device(R"(,"thresholds":{"temperature_1_value":{"min":5,"mx":35}})"),
       f + "devices[0].thresholds.temperature_1_value.mx: unknown key; did you mean max?"},
      {device(R"(,"thresholds":{"t":{"high":35}})"),
       f + "devices[0].thresholds.t.high: unknown key; known keys: min, max"},
      {device(R"(,"UPS":1)"),
       f + "devices[0].UPS: unknown key; known keys: device_number, data_id, ip, port, addr, "
           "appSetting, thresholds, ao_names, ao_deadband, connect_timeout_ms, offline_after_ms, "
           "timeouts_before_reconnect, name, location, sim"},
      {top(R"("retries":3,)"),
       f + "retries: unknown key; known keys: poll_interval_ms, history_interval_s, "
           "history_keep_days, history_max_mb, history_queue, events_max_mb, events_keep, "
           "alarm_log_rows, alarm_log_days, connect_timeout_ms, timeouts_before_reconnect, "
           "devices, mqtt, history_keep"},
      {top(R"("alarm_log_rows":99,)"),
       f + "alarm_log_rows: expected an integer from 100 to 10000000, got 99"},
      {top(R"("alarm_log_days":0,)"),
       f + "alarm_log_days: expected an integer from 1 to 36500, got 0"},
      // Names every output can carry: UTF-8 without control characters.
      {device(R"(,"name":"")"),
       f + "devices[0].name: expected text of 1 to 200 bytes of UTF-8 without control "
           "characters, got \"\""},
      {device(R"(,"name":"UPS\nA")"),
       f + "devices[0].name: expected text of 1 to 200 bytes of UTF-8 without control "
           "characters, got \"UPS\nA\""},
      {device(R"(,"location":7)"),
       f + "devices[0].location: expected text of 1 to 200 bytes of UTF-8 without control "
           "characters, got 7"},
      {top(R"("mqtt":{"host":"b","prot":1883},)"),
       f + "mqtt.prot: unknown key; did you mean port?"},
      {top(R"("mqtt":{"port":1883},)"),
       f + "mqtt.host: expected the broker's host name or address"},
      {top(R"("mqtt":{"host":"b","tls":{"ca_file":"ca.pem","cert_file":"c.pem"}},)"),
       f + "mqtt.tls: expected cert_file and key_file together, or neither"},
      {top(R"("mqtt":{"host":"b","password":"p"},)"),
       f + "mqtt.password: expected a username with it"},
      {top(R"("mqtt":{"host":"b","topic_prefix":"site/#"},)"),
       f + "mqtt.topic_prefix: expected a topic without wildcards or a trailing /, got \"site/#\""},
  };
  for (const Case& c : cases) EXPECT_EQ(problem(c.text), c.message) << c.text;
}

TEST_F(ConfigFile, MqttDefaultsFollowTlsAndTheHostName) {
  auto parse = [&](const std::string& text) { return load_config(write(text)); };
  const kplhost::HostConfig plain = parse(top(R"("mqtt":{"host":"broker"},)"));
  ASSERT_TRUE(plain.mqtt.has_value());
  EXPECT_EQ(plain.mqtt->port, 1883);
  EXPECT_EQ(plain.mqtt->client_id, kplhost::default_client_id());
  EXPECT_EQ(plain.mqtt->topic_prefix, "kpl/" + kplhost::default_client_id());
  EXPECT_TRUE(plain.mqtt->publish_values);
  const kplhost::HostConfig tls =
      parse(top(R"("mqtt":{"host":"broker","client_id":"site-3","tls":{"ca_file":"ca.pem"}},)"));
  EXPECT_EQ(tls.mqtt->port, 8883);
  EXPECT_EQ(tls.mqtt->topic_prefix, "kpl/site-3");
  EXPECT_FALSE(parse(top("")).mqtt.has_value());
}

TEST(ConfigCloseMatch, NearestWithinTheEditsAllowed) {
  constexpr std::string_view known[] = {"alpha", "aloha", "beta", "gamma"};
  const struct {
    std::string_view name;
    std::string_view match;
  } cases[] = {
      {"alxha", "alpha"},  // 1 edit from both: the earlier
      {"alohx", "aloha"},  // 1 edit beats the earlier name's 2
      {"ALOHA", "aloha"},  // case alone beats 1 edit
      {"btea", "beta"},    // a swap is one edit
      {"gamxy", "gamma"},  // 2 edits from 5 characters on
      {"btt", ""},         // but not under 5
      {"zzzzz", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(kplhost::close_match(c.name, std::begin(known), std::end(known)), c.match) << c.name;
}

TEST_F(ConfigFile, TextThatIsNotJsonOrHasDuplicateKeys) {
  EXPECT_EQ(problem("{\"devices\": [").rfind(path + ": not valid JSON: ", 0), 0u);
  EXPECT_EQ(problem(device(R"(,"port":1503)")).rfind(path + ": not valid JSON: ", 0), 0u);
  EXPECT_EQ(problem(" \n"), path + ": is empty; expected an object with a devices array");
  // One line, whatever the reader says.
  EXPECT_EQ(problem("{\"devices\": [}"),
            path +
                ": not valid JSON: Line 1, Column 14: Syntax error: value, object or array "
                "expected.");
}

TEST(ConfigFileMissing, NamesTheFile) {
  try {
    load_config("/nonexistent/kpl.json");
    FAIL();
  } catch (const ConfigError& e) {
    EXPECT_STREQ(e.what(), "/nonexistent/kpl.json: cannot be read");
  }
  try {
    load_config("/");
    FAIL();
  } catch (const ConfigError& e) {
    EXPECT_STREQ(e.what(), "/: is a directory; expected a config file");
  }
}

}  // namespace
