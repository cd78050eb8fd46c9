// kpl-host with the plug-in against simulated units over loopback TCP.

#include <chrono>
#include <climits>
#include <fstream>

#include "tests/e2e/e2e_fixture.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

TEST_F(EndToEnd, EveryCompositionPublishesTheUnitsValues) {
  add_unit({7, {1, 0, 0, 0, 1}});
  add_unit({8, {0, 0, 0, 0, 0}});
  add_unit({9, {2, 1, 1, 1, 2}});
  units[0].second->raise("ups1.QLT_0");
  units[0].second->set("temperature_1_value", 41.5f);
  units[2].second->raise("ac2.QLT_153");
  sim.start();
  write_config(100, R"(, "thresholds": {"temperature_1_value": {"min": 5, "max": 35}})");

  auto host = start_host({"--rounds", "2"});
  ASSERT_EQ(host->wait(seconds(30)), 0) << host->out() << host->err();

  for (const auto& [entry, unit] : units) {
    const auto published = events_of("publish", entry.device_number);
    ASSERT_GE(published.size(), 2u) << entry.device_number;
    for (const Json::Value& p : published) {
      EXPECT_EQ(p["image_id"].asInt(), 5273);
      expect_image_matches(p, *unit, entry.device_number);
    }
    const auto& m = entry.composition;
    const size_t alarms_per_round = 114u * m.ups + 40u * m.ac;
    EXPECT_GE(events_of("alarm_point", entry.device_number).size(), 2 * alarms_per_round);
  }

  // What the operator sees raised, with the block's label and text.
  auto raised = [&](unsigned int device) {
    std::vector<std::string> r;
    for (const Json::Value& a : events_of("alarm", device))
      if (a["state"] == "raised")
        r.push_back(a["label"].asString() + a["name"].asString() + "/" + a["id"].asString());
    return r;
  };
  EXPECT_EQ(raised(7),
            (std::vector<std::string>{"temperature_1_value/", "Number_1_UPS_Alarm_/QLT_0"}));
  // Device 8 has no air conditioner: nothing to raise. Device 9's second air
  // conditioner reports its communication state lost.
  EXPECT_TRUE(raised(8).empty());
  EXPECT_EQ(raised(9), (std::vector<std::string>{"空调2/QLT_153"}));
  EXPECT_NE(host->out().find("RAISED  Number_1_UPS_Alarm_ QLT_0 02401 市电输入告警"),
            std::string::npos)
      << host->out();
}

TEST_F(EndToEnd, RestartRestoresTheNewestImageFromHistory) {
  add_unit({7, {1, 0, 0, 0, 1}});
  sim.start();
  write_config(100);
  auto first = start_host({"--rounds", "1", "--quiet"});
  ASSERT_EQ(first->wait(seconds(20)), 0) << first->err();

  // The unit is gone now; the host still starts from what it saved.
  sim.stop();
  auto second = start_host({"--duration-s", "0.3", "--quiet"});
  ASSERT_EQ(second->wait(seconds(20)), 0) << second->err();
  EXPECT_NE(second->out().find("device 7 restored its image of 2239 bytes saved at "),
            std::string::npos)
      << second->out();
  // The problem is the current one, with the time it started.
  const std::string status =
      "device 7 status: connecting, not connected, 0 rounds, 0 reconnects, 0 history "
      "rows dropped, last error: cannot connect to 127.0.0.1:";
  const size_t at = second->out().find(status);
  ASSERT_NE(at, std::string::npos) << second->out();
  EXPECT_NE(second->out().find(": Connection refused since 20", at), std::string::npos)
      << second->out();
}

TEST_F(EndToEnd, ReconnectsAfterTheUnitDropsTheConnection) {
  qltsim::Unit& unit = add_unit({7, {1, 0, 0, 0, 0}});
  sim.start();
  write_config(100);
  auto host = start_host({});
  ASSERT_TRUE(published(7));
  // Cut the connection in the middle of a pass.
  unit.set_fault(qltsim::Fault(qltsim::FaultMode::close, qltsim::Schedule::next_requests(1)));
  ASSERT_TRUE(
      eventually([&] { return !events_of("link", 7).empty() && events_of("link", 7).size() >= 3; },
                 seconds(10)));
  const size_t before = events_of("publish", 7).size();
  ASSERT_TRUE(
      eventually([&] { return events_of("publish", 7).size() >= before + 2; }, seconds(10)));
  host->interrupt();
  EXPECT_EQ(host->wait(seconds(10)), 0);
  const auto links = events_of("link", 7);
  EXPECT_EQ(links[0]["state"], "up");
  EXPECT_EQ(links[1]["state"], "down");
  EXPECT_EQ(links[2]["state"], "up");
  for (const Json::Value& p : events_of("publish", 7)) expect_image_matches(p, unit, 7);
  // Connected again: the problem is over.
  EXPECT_NE(host->out().find("1 reconnects, 0 history rows dropped, last error: none"),
            std::string::npos)
      << host->out();
  EXPECT_GE(unit.connections_accepted(), 2u);
}

// A composition that cannot be the unit's is never polled, so nothing is
// ever published under the wrong points; the other devices go on.
TEST_F(EndToEnd, UnusableCountsStopThatDeviceOnly) {
  qltsim::Unit& bad = add_unit({7, {0, 0, 0, 0, 0}});
  qltsim::Unit& good = add_unit({8, {0, 0, 0, 0, 1}});
  sim.start();
  std::ofstream(config_path) << R"({"poll_interval_ms": 100, "devices": [{"device_number": 7,)"
                             << R"("ip": "127.0.0.1", "port": )" << bad.port()
                             << R"(, "appSetting": {"ups": -1, "pdu_type_1": "many", "ac": [1],)"
                             << R"( "pdu_type_2": 1e20, "pdu_type_3": "99999999999999999999"},)"
                             << R"( "offline_after_ms": 300},)"
                             << R"({"device_number": 8, "ip": "127.0.0.1", "port": )" << good.port()
                             << R"(, "appSetting": {"ac": "1"}}]})";
  auto host = start_host({"--quiet"});
  ASSERT_TRUE(published(8, 3)) << host->out();
  // Connected but never polled: the status says so, not "last error: none".
  ASSERT_TRUE(eventually([&] { return !events_of("alarm", 7).empty(); }, seconds(10)));
  host->interrupt();
  ASSERT_EQ(host->wait(seconds(10)), 0) << host->out();
  const std::string out = host->out();
  for (const char* line :
       {"QLTModel::Init count out of range: data_id:7 ups:-1, the unit is not polled",
        "QLTModel::Init count is not a whole number: data_id:7 pdu_type_1:\"many\", taken as 0",
        "QLTModel::Init count is not a number: data_id:7 ac:[1], the unit is not polled",
        "QLTModel::Init count is not a whole number: data_id:7 pdu_type_2:1e+20, taken as 1",
        "QLTModel::Init count out of range: data_id:7 pdu_type_3:\"99999999999999999999\", the "
        "unit is not polled"})
    EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
  EXPECT_NE(out.find("device 7 status: offline (no round for"), std::string::npos) << out;
  EXPECT_NE(out.find("connected, 0 rounds, 0 reconnects, 0 history rows dropped, last error: "
                     "connected, but the device asks the unit nothing"),
            std::string::npos)
      << out;
  EXPECT_TRUE(events_of("publish", 7).empty());
  EXPECT_EQ(bad.requests_served(), 0u);
  for (const Json::Value& p : events_of("publish", 8)) expect_image_matches(p, good, 8);
}

// A refusal is one line on standard error, then the usage, and status 2;
// each refusal's wording is tested without a process.
TEST_F(EndToEnd, BadStartSaysWhyAndExitsTwo) {
  const auto p = run_host({"--plugin", "p", "--config", "c", "--rounds", "many"});
  EXPECT_EQ(p->wait(seconds(10)), 2);
  EXPECT_EQ(p->err().rfind("kpl-host: --rounds: expected a whole number from 1 to " +
                               std::to_string(LONG_MAX) + ", got many\nusage: kpl-host ",
                           0),
            0u)
      << p->err();
}

}  // namespace
