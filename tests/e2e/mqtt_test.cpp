// kpl-host reporting to a real MQTT broker (the machine's mosquitto, started
// here on loopback), heard by a real subscriber: the retained status and its
// Last Will, alarm changes that happen while the broker is away, delivered
// in order once it is back (across a restart of the host too), credentials
// and TLS.

#include <fstream>

#include "apps/kpl-host/storage/history_store.h"
#include "testkit/json_text.h"
#include "testkit/mqtt_peers.h"
#include "testkit/net_cut.h"
#include "tests/e2e/e2e_fixture.h"

namespace {

using namespace std::chrono_literals;

class MqttAcceptance : public EndToEnd {
 protected:
  // The host's config with its broker connection; `mqtt` holds the keys
  // after "host" and "client_id".
  void write_mqtt_config(unsigned short port, const std::string& more = "") {
    write_config(100);
    std::string text = read_text(config_path);
    text.insert(1, R"("mqtt": {"host": "127.0.0.1", "port": )" + std::to_string(port) +
                       R"(, "client_id": "site-1", "keepalive_s": 5)" + more + "}, ");
    std::ofstream(config_path) << text;
  }
  static std::vector<std::string> payloads(const std::vector<MqttSubscriber::Message>& ms) {
    std::vector<std::string> out;
    for (const auto& m : ms) out.push_back(m.payload);
    return out;
  }
  // Alarm changes heard, as "<state> <id>", with their sequence numbers
  // rising.
  static std::vector<std::string> changes(const MqttSubscriber& sub) {
    std::vector<std::string> out;
    long long last = 0;
    for (const auto& m : sub.on("kpl/site-1/devices/7/alarms")) {
      const Json::Value v = json_of(m.payload);
      if (v["seq"].asInt64() <= last) continue;  // a redelivery
      last = v["seq"].asInt64();
      out.push_back(v["state"].asString() + " " + v["id"].asString());
    }
    return out;
  }
  bool event_seen(const std::string& state) const {
    for (const Json::Value& e : events_of("alarm", 7))
      if (e["state"] == state && e["id"] == "QLT_0") return true;
    return false;
  }
};

TEST_F(MqttAcceptance, RetainedOnlineAndTheLastWillAfterKill) {
  add_unit({7, {1, 0, 0, 0, 0}});
  sim.start();
  MqttBroker broker(dir, {});
  broker.start();
  write_mqtt_config(broker.port());
  auto host = start_host({"--quiet"});
  ASSERT_TRUE(published(7, 2)) << host->out();
  // A subscriber that comes late still learns the state: it is retained.
  MqttSubscriber late(broker.port(), "kpl/site-1/#");
  ASSERT_TRUE(late.wait_for(
      [](const auto& ms) {
        for (const auto& m : ms)
          if (m.topic == "kpl/site-1/status" && m.payload == "online" && m.retained) return true;
        return false;
      },
      10s))
      << host->out();
  ASSERT_TRUE(late.wait_for([](const auto& ms) { return !ms.empty(); }, 5s));
  EXPECT_FALSE(late.on("kpl/site-1/devices/7/state").empty());
  host->kill_hard();
  EXPECT_TRUE(late.wait_for(
      [](const auto& ms) { return !ms.empty() && ms.back().payload == "offline"; }, 15s));
}

// The broker goes away; an alarm is raised and cleared meanwhile, and once
// with the host restarted in between: both changes reach the subscriber, in
// order, when the broker is back.
TEST_F(MqttAcceptance, ChangesWhileTheBrokerIsAwayArriveInOrder) {
  qltsim::Unit& unit = add_unit({7, {1, 0, 0, 0, 0}});
  sim.start();
  MqttBroker broker(dir, {true, {}, false});
  broker.start();
  write_mqtt_config(broker.port());
  MqttSubscriber sub(broker.port(), "kpl/site-1/#", "operator", false);
  auto host = start_host({"--quiet"});
  ASSERT_TRUE(sub.wait_for([](const auto& ms) { return !ms.empty(); }, 10s)) << host->out();

  broker.stop();
  unit.raise("ups1.QLT_0");
  ASSERT_TRUE(eventually([&] { return event_seen("raised"); }, 10s));
  unit.clear("ups1.QLT_0");
  ASSERT_TRUE(eventually([&] { return event_seen("cleared"); }, 10s));
  broker.start();
  ASSERT_TRUE(eventually([&] { return changes(sub).size() >= 2; }, 40s)) << host->out();
  EXPECT_EQ(changes(sub), (std::vector<std::string>{"raised QLT_0", "cleared QLT_0"}));

  // Again, with the host stopped and started while the broker is away.
  broker.stop();
  unit.raise("ups1.QLT_0");
  ASSERT_TRUE(eventually([&] { return event_seen("raised") && changes(sub).size() == 2; }, 10s));
  ASSERT_TRUE(eventually(
      [&] {
        int raised = 0;
        for (const Json::Value& e : events_of("alarm", 7)) raised += e["state"] == "raised";
        return raised == 2;
      },
      10s));
  host->interrupt();
  ASSERT_EQ(host->wait(20s), 0);
  host = start_host({"--quiet"});
  unit.clear("ups1.QLT_0");
  ASSERT_TRUE(eventually(
      [&] {
        int cleared = 0;
        for (const Json::Value& e : events_of("alarm", 7)) cleared += e["state"] == "cleared";
        return cleared == 2;
      },
      20s))
      << host->out();
  // A broker that was never reached is said once, not at every attempt.
  const std::string unreachable =
      "kpl-host: mqtt: cannot connect to 127.0.0.1:" + std::to_string(broker.port()) +
      ": Connection refused; trying again\n";
  const std::string out = host->out();
  EXPECT_NE(out.find(unreachable), std::string::npos) << out;
  EXPECT_EQ(out.find(unreachable, out.find(unreachable) + 1), std::string::npos) << out;
  broker.start();
  ASSERT_TRUE(eventually([&] { return changes(sub).size() >= 4; }, 40s)) << host->out();
  EXPECT_EQ(changes(sub), (std::vector<std::string>{"raised QLT_0", "cleared QLT_0", "raised QLT_0",
                                                    "cleared QLT_0"}));
  host->interrupt();
  EXPECT_EQ(host->wait(20s), 0);
}

TEST_F(MqttAcceptance, CredentialsAndTls) {
  add_unit({7, {0, 0, 0, 0, 1}});
  sim.start();
  MqttBroker broker(dir, {false, {{"site", "s3cret"}, {"operator", "watch"}}, true});
  broker.start();
  write_mqtt_config(broker.port(), R"(, "username": "site", "password": "wrong")");
  auto host = start_host({"--quiet"});
  ASSERT_TRUE(eventually(
      [&] {
        const std::string out = host->out();
        const std::string line = "refused the connection: not authorised; trying again";
        const size_t first = out.find(line);
        return first != std::string::npos && out.find(line, first + 1) != std::string::npos;
      },
      20s))
      << host->out();
  host->interrupt();
  ASSERT_EQ(host->wait(10s), 0);

  // A TLS file that is not there is named with its key, before anything runs.
  write_mqtt_config(broker.tls_port(), R"(, "tls": {"ca_file": ")" + dir + R"(/none.pem"})");
  host = start_host({"--quiet"});
  ASSERT_EQ(host->wait(10s), 2);
  EXPECT_EQ(host->err(), "kpl-host: " + config_path + ": mqtt.tls.ca_file: cannot read " + dir +
                             "/none.pem: No such file or directory\n");

  write_mqtt_config(broker.tls_port(),
                    R"(, "username": "site", "password": "s3cret", "tls": {"ca_file": ")" +
                        broker.ca_file() + R"("})");
  host = start_host({"--quiet"});
  ASSERT_TRUE(eventually(
      [&] {
        return host->out().find("mqtt: connected to 127.0.0.1:" +
                                std::to_string(broker.tls_port())) != std::string::npos;
      },
      15s))
      << host->out();
  host->interrupt();
  EXPECT_EQ(host->wait(10s), 0);
  // A stop on purpose is not a lost broker.
  EXPECT_EQ(host->out().find("lost the broker"), std::string::npos) << host->out();
}

// The broker behind a network that drops every packet: the host finds the
// link dead within 1.5 keep-alive periods, says so, and a SIGTERM then ends
// it within the bound, with every round's history row written.
TEST_F(MqttAcceptance, BlackholedBrokerIsFoundDeadAndTheStopEndsInTime) {
  std::unique_ptr<NetworkCut> net;
  try {
    net = std::make_unique<NetworkCut>();
  } catch (const std::runtime_error& e) {
    GTEST_SKIP() << e.what();
  }
  add_unit({7, {1, 0, 0, 0, 0}});
  sim.start();
  MqttBroker broker(dir, {});
  broker.start();
  write_mqtt_config(broker.port());
  auto host = start_host({"--quiet"});
  ASSERT_TRUE(
      eventually([&] { return host->out().find("mqtt: connected to") != std::string::npos; }, 10s))
      << host->out();
  net->cut(broker.port());
  const std::string dead = "mqtt: lost the broker 127.0.0.1:" + std::to_string(broker.port()) +
                           ": no word from the broker for 7 s (keep-alive 5 s)";
  ASSERT_TRUE(eventually([&] { return host->out().find(dead) != std::string::npos; }, 15s))
      << host->out();
  // Attempts to connect again hang in the dropped handshake meanwhile.
  ASSERT_TRUE(published(7, events_of("publish", 7).size() + 5));
  const auto asked = std::chrono::steady_clock::now();
  host->signal(SIGTERM);
  ASSERT_TRUE(host->ends_within(10s)) << host->out();
  const auto took = std::chrono::steady_clock::now() - asked;
  std::printf(
      "blackholed broker: stopped %lld ms after SIGTERM\n",
      static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
  EXPECT_EQ(host->status(), 0) << host->out();
  // The stop wrote the newest image, for the restore at the next start.
  kplhost::HistoryStore history(history_path);
  const auto newest = history.newest(7);
  ASSERT_TRUE(newest.has_value());
  EXPECT_EQ(static_cast<int>(newest->image.size()), events_of("publish", 7).back()["size"].asInt());
}

}  // namespace
