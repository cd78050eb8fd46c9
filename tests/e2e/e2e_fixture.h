// Simulated units on loopback and kpl-host run against them, with the event
// stream read back for checking.
#pragma once

#include <gtest/gtest.h>
#include <json/value.h>

#include <string>
#include <vector>

#include "apps/qlt-unit-sim/simulator.h"
#include "testkit/process.h"

struct UnitEntry {
  unsigned int device_number;
  qltsim::Composition composition;
  // The unit id the device asks for.
  unsigned int addr = 1;
};

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Adds a unit with steady values to the simulator, and to the host's config.
  qltsim::Unit& add_unit(const UnitEntry& entry);
  // Adds a unit served by something else on a loopback port to the config.
  void add_endpoint(const UnitEntry& entry, unsigned short port);
  // Writes the host's config for the units added so far.
  // Every device gets extra_device_keys, and extra_app_setting inside its
  // "appSetting" (both text that starts with a comma).
  std::string write_config(int poll_interval_ms = 100, const std::string& extra_device_keys = "",
                           const std::string& extra_app_setting = "");
  // The host's options for its config, event stream and history, and more.
  // The tests read the per-round trace (each image as published), so the
  // stream is asked for it.
  std::vector<std::string> host_args(const std::vector<std::string>& more) const;
  // kpl-host with host_args(more); run_host: with exactly args. Its output
  // goes to files in dir.
  std::unique_ptr<Process> start_host(const std::vector<std::string>& more,
                                      long file_size_limit = 0);
  std::unique_ptr<Process> run_host(const std::vector<std::string>& args, long file_size_limit = 0);

  // Whether the host has published at least n images of the device within
  // ten seconds.
  bool published(unsigned int device, size_t n = 1) const;

  // When each new image of the device was published over the span, sampled
  // every 20 ms.
  std::vector<std::chrono::steady_clock::time_point> publish_times(
      unsigned int device, std::chrono::milliseconds span) const;

  // The event stream as written so far, one object per line.
  std::vector<Json::Value> events() const;
  std::vector<Json::Value> events_of(const std::string& kind, unsigned int device) const;
  // Checks a published image byte for byte against the unit's values.
  void expect_image_matches(const Json::Value& publish, const qltsim::Unit& unit,
                            unsigned int device_number) const;

  std::string dir;
  std::string config_path, events_path, history_path;
  // Top-level keys for write_config, each followed by a comma.
  std::string top_keys;
  qltsim::Simulator sim;
  std::vector<std::pair<UnitEntry, qltsim::Unit*>> units;
  std::vector<std::pair<UnitEntry, unsigned short>> endpoints;
};

// The 32-bit word, least significant byte first, at byte `at` of an image
// written as hex.
std::uint32_t image_word(const std::string& hex, long at);
