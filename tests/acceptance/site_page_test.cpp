// The site's page as an operator uses it, in Debian's Chromium driven through
// the DevTools protocol: forty simulated units from one simulator
// configuration (examples/site.json), three of them in alarm and one that
// does not answer; the header's counts, the "in alarm" filter, a device's
// values as the console writes them, a log-in and an acknowledgement, still
// shown after the host is restarted. It leaves the laptop and phone
// screenshots in the build folder.

#include <gtest/gtest.h>
#include <json/value.h>
#include <json/writer.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>

#include "testkit/http_client.h"
#include "testkit/json_text.h"
#include "testkit/process.h"

namespace {

using namespace std::chrono_literals;

// bcrypt of "right horse", cost 4.
const char* const alice_hash = "$2y$04$o97sB/VrwbvnpkYk/d.hzexIMZ6x7PdHgur8MxZHo8gWRR2i0TlP2";
const std::string source = QLT_SOURCE_DIR;

class SitePage : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = ::testing::TempDir() + "kpl-site-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir = tmpl;
    ASSERT_TRUE(std::ifstream(source +
                              "/tests/acceptance/browser/node_modules/puppeteer-core/package.json"))
        << "puppeteer-core is not installed: run tools/deps-browser.sh";
    Json::Value site = json_of(read_text(source + "/examples/site.json"));
    // A place whose text is markup, quotes and a backslash: shown as written.
    site["devices"][38]["location"] = "Row \"B\" \\ <i>机房</i>";
    std::ofstream(dir + "/site.json") << Json::writeString(Json::StreamWriterBuilder(), site);
    sim = std::make_unique<Process>(
        QLT_UNIT_SIM,
        std::vector<std::string>{"--config", dir + "/site.json", "--ports-file", dir + "/ports",
                                 "--quiet"},
        ProcessOutput::files_in(dir, "qlt-unit-sim"));
    ASSERT_TRUE(eventually([&] { return read_text(dir + "/ports").size() > 0; }, 10s));
    std::map<std::string, int> ports;
    std::ifstream in(dir + "/ports");
    for (std::string n, p; in >> n >> p;) ports[n] = std::stoi(p);
    for (Json::Value& d : site["devices"]) d["port"] = ports[d["device_number"].asString()];
    std::ofstream(dir + "/host.json") << Json::writeString(Json::StreamWriterBuilder(), site);
    std::ofstream(dir + "/web.yml") << "basic_auth_users:\n  alice: " << alice_hash << "\n";
  }
  void TearDown() override {
    if (host) host->stop(10s);
    if (sim) sim->stop(5s);
    if (!HasFailure()) std::system(("rm -rf '" + dir + "'").c_str());
  }

  void start_host() {
    host = std::make_unique<Process>(
        KPL_HOST_BIN,
        std::vector<std::string>{"--plugin", QLTMODEL_SO, "--config", dir + "/host.json",
                                 "--history", dir + "/history.db", "--events",
                                 dir + "/events.jsonl", "--http", "127.0.0.1:0", "--web-config",
                                 dir + "/web.yml", "--quiet"},
        ProcessOutput::files_in(dir, "kpl-host"));
    port = printed_port(*host);
    ASSERT_NE(port, 0) << host->out();
  }
  Json::Value devices() {
    return json_of(http_request(port, "/api/devices", "GET",
                                {{"Authorization", basic_authorization("alice", "right horse")}})
                       .body);
  }
  // The devices with an alarm of their own, and those offline, once settled.
  bool settled(std::set<int> in_alarm, std::set<int> offline) {
    return eventually(
        [&] {
          std::set<int> alarmed, silent;
          for (const Json::Value& d : devices()) {
            for (const Json::Value& a : d["alarms"])
              if (a["id"] != "communication_lost") alarmed.insert(d["device"].asInt());
            if (d["state"] == "offline") silent.insert(d["device"].asInt());
          }
          return alarmed == in_alarm && silent == offline;
        },
        40s);
  }
  Json::Value drive(const std::vector<std::string>& args) {
    std::vector<std::string> all = {source + "/tests/acceptance/browser/drive.mjs"};
    all.insert(all.end(), args.begin(), args.end());
    Process node("node", all, ProcessOutput::files_in(dir, "node"));
    EXPECT_EQ(node.wait(180s), 0) << node.out() << node.err();
    // The last line is what it saw.
    std::string out = node.out();
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return json_of(out.substr(out.rfind('\n') + 1));
  }

  std::string dir;
  std::unique_ptr<Process> sim, host;
  unsigned short port = 0;
};

TEST_F(SitePage, FortyUnitsAtAGlanceAndAnAcknowledgementThatOutlastsARestart) {
  start_host();
  ASSERT_TRUE(settled({3, 12, 27}, {40})) << host->out();
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
  const Json::Value seen = drive({"look", url, "alice", "right horse", QLT_BUILD_DIR});

  EXPECT_EQ(seen["who"], "logged in as alice");
  const Json::Value& n = seen["counts"];
  EXPECT_EQ(seen["tiles"], 40);
  EXPECT_TRUE(seen["fits"].asBool()) << "forty tiles fit a 1366x768 screen";
  EXPECT_EQ(n["n-online"].asInt() + n["n-degraded"].asInt(), 39);
  EXPECT_EQ(n["n-offline"], 1);
  EXPECT_EQ(n["n-failed"], 0);
  for (const char* state : {"online", "degraded", "offline"})
    EXPECT_EQ(n[std::string("n-") + state].asInt(), seen["tile_states"][state].asInt()) << state;
  // Three point alarms and the silent unit's communication loss.
  EXPECT_EQ(n["n-active"], 4);
  EXPECT_EQ(n["n-unacked"], 4);
  EXPECT_EQ(seen["in_alarm"], json_of("[3, 12, 27]"));
  bool shown_as_written = false;
  for (const Json::Value& t : seen["tile_texts"])
    shown_as_written =
        shown_as_written || t.asString().find("Row \"B\" \\ <i>机房</i>") != std::string::npos;
  EXPECT_TRUE(shown_as_written);
  EXPECT_EQ(seen["markup_in_tiles"], 0);
  EXPECT_LE(seen["phone_width"].asInt(), 390);

  // Every value of the device as the console writes it: its decimals, its unit.
  std::map<std::string, std::string> expected;
  for (const Json::Value& d : devices())
    if (d["device"] == seen["device"])
      for (const Json::Value& v : d["values"]) {
        char text[64];
        std::snprintf(text, sizeof text, "%.*f", v["decimals"].asInt(), v["value"].asDouble());
        const std::string unit = v["unit"].asString();
        expected[v["name"].asString()] = text + (unit.empty() ? "" : " " + unit);
      }
  ASSERT_EQ(seen["values"].size(), expected.size());
  for (const Json::Value& v : seen["values"])
    EXPECT_EQ(v[1].asString(), expected[v[0].asString()]) << v[0].asString();
  EXPECT_EQ(seen["trend_plots"].asUInt(), expected.size()) << seen["trend_failures"];

  const std::string acknowledged = seen["acknowledged"].asString();
  EXPECT_EQ(acknowledged.rfind("alice, 20", 0), 0u) << acknowledged;
  EXPECT_EQ(seen["unacked"], 3);

  // The host starts again on the same database: the alarm is still listed,
  // acknowledged by the same person at the same time.
  host->interrupt();
  ASSERT_EQ(host->wait(20s), 0) << host->out();
  start_host();
  ASSERT_TRUE(settled({3, 12, 27}, {40})) << host->out();
  const Json::Value after =
      drive({"acknowledged", url.substr(0, url.rfind(':') + 1) + std::to_string(port) + "/",
             "alice", "right horse", seen["device"].asString()});
  EXPECT_EQ(after["acknowledged"].asString(), acknowledged);
}

}  // namespace
