// The reference host's configuration file: every problem names the file,
// the key and what was expected.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "host/reference/config.h"
#include "tests/support/temp_path.h"

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

TEST_F(ConfigFile, MinimalDeviceTakesTheDefaults) {
  const auto cfg = load_config(write(device()));
  EXPECT_EQ(cfg.poll_interval_ms, 1000);
  ASSERT_EQ(cfg.devices.size(), 1u);
  const auto& d = cfg.devices[0];
  EXPECT_EQ(d.device_number, 7u);
  EXPECT_EQ(d.data_id, 7u);
  EXPECT_EQ(d.addr, 1);
  EXPECT_DOUBLE_EQ(d.ao_deadband, 0.5);
  EXPECT_EQ(d.json["port"].asInt(), 1502);
}

TEST_F(ConfigFile, FullDevice) {
  const auto cfg = load_config(write(device(
      R"(,"data_id":107,"addr":3,"appSetting":{"ups":1},"ao_names":["temperature_1_value"],)"
      R"("ao_deadband":1.5,"thresholds":{"temperature_1_value":{"min":5,"max":35},"water_value":{"max":0.5}})")));
  const auto& d = cfg.devices[0];
  EXPECT_EQ(d.data_id, 107u);
  EXPECT_EQ(d.addr, 3);
  EXPECT_EQ(d.ao_names, std::vector<std::string>{"temperature_1_value"});
  EXPECT_EQ(*d.thresholds.at("temperature_1_value").min, 5);
  EXPECT_FALSE(d.thresholds.at("water_value").min.has_value());
  EXPECT_EQ(d.json["appSetting"]["ups"].asInt(), 1);
}

TEST_F(ConfigFile, ProblemsNameFileKeyAndExpectation) {
  const std::string f = path + ": ";
  struct Case {
    std::string text;
    std::string message;
  } cases[] = {
      {"[1]", f + "the document: expected an object, got an array"},
      {"{}", f + "devices: expected a non-empty array of device objects, got nothing"},
      {R"({"devices":[]})", f + "devices: expected a non-empty array of device objects, got an array"},
      {R"({"devices":[5]})", f + "devices[0]: expected an object, got 5"},
      {R"({"devices":[{"device_number":7,"ip":"127.0.0.1","port":70000}]})",
       f + "devices[0].port: expected an integer from 1 to 65535, got 70000"},
      {R"({"devices":[{"device_number":7,"ip":"127.0.0.1","port":"1502"}]})",
       f + "devices[0].port: expected an integer from 1 to 65535, got \"1502\""},
      {R"({"devices":[{"device_number":7,"ip":"127.0.0.1"}]})",
       f + "devices[0].port: expected an integer from 1 to 65535"},
      {R"({"devices":[{"device_number":7,"ip":"unit-7","port":1}]})",
       f + "devices[0].ip: expected an IPv4 or IPv6 address, got \"unit-7\""},
      {R"({"devices":[{"device_number":-7,"ip":"::1","port":1}]})",
       f + "devices[0].device_number: expected an integer from 0 to 4294967295, got -7"},
      {device(R"(,"addr":256)"), f + "devices[0].addr: expected an integer from 0 to 255, got 256"},
      {device(R"(,"appSetting":[1])"), f + "devices[0].appSetting: expected an object, got an array"},
      {device(R"(,"thresholds":{"t":{"min":"low"}})"),
       f + "devices[0].thresholds.t.min: expected a number, got \"low\""},
      {device(R"(,"thresholds":{"t":{"min":9,"max":1}})"),
       f + "devices[0].thresholds.t: expected min no greater than max"},
      {device(R"(,"ao_names":["a",2])"), f + "devices[0].ao_names[1]: expected a point name, got 2"},
      {device(R"(,"ao_deadband":-1)"), f + "devices[0].ao_deadband: expected a number of 0 or more, got -1"},
      {R"({"poll_interval_ms":0,"devices":[{"device_number":7,"ip":"::1","port":1}]})",
       f + "poll_interval_ms: expected an integer from 10 to 3600000, got 0"},
      {R"({"devices":[{"device_number":7,"ip":"::1","port":1},{"device_number":7,"ip":"::1","port":2}]})",
       f + "devices[1].device_number: expected a number no other device has, got 7"},
  };
  for (const Case& c : cases) EXPECT_EQ(problem(c.text), c.message) << c.text;
}

TEST_F(ConfigFile, TextThatIsNotJsonOrHasDuplicateKeys) {
  EXPECT_EQ(problem("{\"devices\": [").rfind(path + ": not valid JSON: ", 0), 0u);
  EXPECT_EQ(problem(device(R"(,"port":1503)")).rfind(path + ": not valid JSON: ", 0), 0u);
  EXPECT_EQ(problem("").rfind(path + ": not valid JSON: ", 0), 0u);
}

TEST(ConfigFileMissing, NamesTheFile) {
  try {
    load_config("/nonexistent/kpl.json");
    FAIL();
  } catch (const ConfigError& e) {
    EXPECT_STREQ(e.what(), "/nonexistent/kpl.json: cannot be read");
  }
}

}  // namespace
