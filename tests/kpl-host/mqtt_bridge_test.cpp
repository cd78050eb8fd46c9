// The broker bridge against a connection of the test's own: alarm changes
// kept in the outbox go out in order, again after every reconnect, until
// acknowledged; a full outbox drops the oldest and says so; sequence numbers
// go on across a restart and are never guessed.

#include "apps/kpl-host/mqtt/mqtt_bridge.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>

#include "apps/kpl-host/mqtt/broker_liveness.h"
#include "apps/kpl-host/storage/mqtt_outbox.h"
#include "apps/kpl-host/storage/sqlite_file.h"
#include "testkit/json_text.h"
#include "testkit/process.h"
#include "testkit/temp_path.h"
#include "tests/kpl-host/recording_events.h"

namespace {

using namespace std::chrono_literals;
using namespace kplhost;

// What the bridge hands to the broker connection, with the message ids given
// back; the test plays the network thread through the handlers.
class FakeConnection final : public MqttConnection {
 public:
  struct Message {
    std::string topic;
    long long seq;  // of an alarm change; 0 for the other topics
    int mid;
  };

  explicit FakeConnection(Handlers h) : handlers_(std::move(h)) {}
  void start(ThreadGuard&) override {}
  int publish(const std::string& topic, const std::string& payload, int qos, bool) override {
    const bool alarm = topic.size() > 7 && topic.compare(topic.size() - 7, 7, "/alarms") == 0;
    std::lock_guard<std::mutex> g(lock_);
    // A link that takes nothing more: values are refused, as the client
    // refuses them once too many wait.
    if (full_ && qos == 0) {
      ++refused_;
      handed_.notify_all();
      return -1;
    }
    sent_.push_back({topic, alarm ? json_of(payload)["seq"].asInt64() : 0, ++last_mid_});
    handed_.notify_all();
    return last_mid_;
  }
  void stop(std::chrono::milliseconds) override {}

  void connect() { handlers_.connected(0, ""); }
  void drop(const std::string& why = "") { handlers_.disconnected(why); }
  void fill() {
    std::lock_guard<std::mutex> g(lock_);
    full_ = true;
  }
  // Waits until n values have been refused.
  bool refused(long n) {
    std::unique_lock<std::mutex> g(lock_);
    return handed_.wait_for(g, 10s, [&] { return refused_ >= n; });
  }
  void acknowledge(int mid) { handlers_.acknowledged(mid); }

  // The alarm changes handed over so far, once there are at least n.
  std::vector<Message> alarms(size_t n) {
    std::vector<Message> out;
    std::unique_lock<std::mutex> g(lock_);
    handed_.wait_for(g, 10s, [&] {
      out.clear();
      for (const Message& m : sent_)
        if (m.seq) out.push_back(m);
      return out.size() >= n;
    });
    return out;
  }

 private:
  Handlers handlers_;
  std::mutex lock_;
  bool full_ = false;
  long refused_ = 0;
  std::condition_variable handed_;
  std::vector<Message> sent_;
  int last_mid_ = 0;
};

std::vector<long long> seqs(const std::vector<FakeConnection::Message>& ms) {
  std::vector<long long> out;
  for (const auto& m : ms) out.push_back(m.seq);
  return out;
}

class Bridge : public ::testing::Test {
 protected:
  Bridge() : slot(DeviceConfig{}) {
    config.client_id = "site-1";
    config.topic_prefix = "kpl/site-1";
    config.outbox_limit = 3;
  }
  void TearDown() override {
    for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path + suffix).c_str());
  }
  std::unique_ptr<MqttBridge> make_bridge(HostEvents& others) {
    auto bridge = std::make_unique<MqttBridge>(
        config, path, others, threads,
        [this](const MqttConfig&, const std::string& will_topic, const std::string& will_payload,
               MqttConnection::Handlers h) {
          will = will_topic + " " + will_payload;
          auto c = std::make_unique<FakeConnection>(std::move(h));
          broker = c.get();
          return c;
        });
    bridge->start();
    return bridge;
  }
  std::unique_ptr<MqttBridge> make_bridge() { return make_bridge(others); }
  // One alarm change: the device's communication lost or found again.
  void change(MqttBridge& bridge, bool lost) { bridge.communication(slot, lost, "detail"); }
  bool outbox_holds(MqttBridge& bridge, long n) {
    return eventually([&] { return bridge.status().outbox == n; }, 10s);
  }

  std::string path = unique_temp_path(".db");
  MqttConfig config;
  RecordingEvents others;
  ThreadGuard threads;
  DeviceSlot slot;
  FakeConnection* broker = nullptr;
  std::string will;
};

TEST_F(Bridge, ReconnectWithChangesInFlightSendsThemAgainInOrder) {
  auto bridge = make_bridge();
  EXPECT_EQ(will, "kpl/site-1/status offline");
  broker->connect();
  change(*bridge, true);
  change(*bridge, false);
  const auto first = broker->alarms(2);
  ASSERT_EQ(seqs(first), (std::vector<long long>{1, 2}));
  // Gone before the broker acknowledged either: both again, oldest first.
  broker->drop();
  broker->connect();
  const auto again = broker->alarms(4);
  ASSERT_EQ(seqs(again), (std::vector<long long>{1, 2, 1, 2}));
  broker->acknowledge(again[2].mid);
  broker->acknowledge(again[3].mid);
  EXPECT_TRUE(outbox_holds(*bridge, 0));
  EXPECT_EQ(others.seen,
            (std::vector<std::string>{"mqtt connected", "mqtt disconnected", "mqtt connected"}));
}

// The library sends what the old connection had in flight again on the new
// one, and its acknowledgement may come then: a row handed over since is
// still awaited under its own id, and nothing is lost.
TEST_F(Bridge, AcknowledgementAfterAReconnectRemovesNothingElse) {
  auto bridge = make_bridge();
  broker->connect();
  change(*bridge, true);
  const int old_mid = broker->alarms(1)[0].mid;
  broker->drop();
  broker->connect();
  const int new_mid = broker->alarms(2)[1].mid;
  broker->acknowledge(old_mid);
  // Acknowledgements are taken before anything new is handed over.
  change(*bridge, false);
  const auto sent = broker->alarms(3);
  ASSERT_EQ(seqs(sent), (std::vector<long long>{1, 1, 2}));
  EXPECT_EQ(bridge->status().outbox, 2);
  broker->acknowledge(new_mid);
  EXPECT_TRUE(outbox_holds(*bridge, 1));
  broker->acknowledge(sent[2].mid);
  EXPECT_TRUE(outbox_holds(*bridge, 0));
}

TEST_F(Bridge, FullOutboxDropsTheOldestAndSaysSoOnce) {
  auto bridge = make_bridge();
  for (int i = 0; i < 5; ++i) change(*bridge, i % 2 == 0);
  const MqttStatus s = bridge->status();
  EXPECT_FALSE(s.connected);
  EXPECT_EQ(s.outbox, 3);
  EXPECT_EQ(s.dropped, 2);
  EXPECT_EQ(others.seen, (std::vector<std::string>{"mqtt outbox_full"}));
  broker->connect();
  EXPECT_EQ(seqs(broker->alarms(3)), (std::vector<long long>{3, 4, 5}));
}

TEST_F(Bridge, SequenceNumbersGoOnAcrossARestart) {
  {
    auto bridge = make_bridge();
    broker->connect();
    change(*bridge, true);
    change(*bridge, false);
    for (const auto& m : broker->alarms(2)) broker->acknowledge(m.mid);
    ASSERT_TRUE(outbox_holds(*bridge, 0));
  }
  // Every row acknowledged and removed: the number still goes on.
  auto bridge = make_bridge();
  broker->connect();
  change(*bridge, true);
  EXPECT_EQ(seqs(broker->alarms(1)), (std::vector<long long>{3}));
}

// Subscribers discard a number they have seen: a last number that cannot be
// read is refused, not taken as 0.
TEST_F(Bridge, UnreadableLastSequenceStopsTheStart) {
  {
    MqttOutbox outbox(path, 10);
    outbox.append("t", "{}");
  }
  SqliteFile(path, "the test's database", SqliteFile::Sync::every_commit)
      .exec("UPDATE sqlite_sequence SET seq = 'x' WHERE name = 'mqtt_outbox'");
  try {
    make_bridge();
    FAIL() << "the bridge started";
  } catch (const HistoryError& e) {
    EXPECT_EQ(std::string(e.what()), path +
                                         ": the outbox's last sequence number is not a whole "
                                         "number; the file is damaged");
  }
}

// A link that takes no more values: each refused is counted as dropped; once
// the connection says the broker is gone (silent past 1.5 keep-alive
// periods), the bridge is not connected and keeps no values for it at all.
TEST_F(Bridge, ValuesADeadLinkDoesNotTakeAreCountedAndNotKept) {
  auto bridge = make_bridge();
  broker->connect();
  broker->fill();
  for (int i = 0; i < 3; ++i) bridge->round(slot, RoundSummary{i + 1, 0, {}});
  ASSERT_TRUE(broker->refused(3));
  EXPECT_TRUE(eventually([&] { return bridge->status().values_dropped == 3; }, 10s));
  broker->drop("no word from the broker for 45 s (keep-alive 30 s)");
  const MqttStatus s = bridge->status();
  EXPECT_FALSE(s.connected);
  bridge->round(slot, RoundSummary{4, 0, {}});
  EXPECT_EQ(bridge->status().values_dropped, 3);
  EXPECT_EQ(others.seen, (std::vector<std::string>{"mqtt connected", "mqtt disconnected"}));
  EXPECT_EQ(others.details.back(),
            "lost the broker :1883: no word from the broker for 45 s (keep-alive 30 s); alarm "
            "changes wait in the outbox");
}

// The broker is alive while it has said anything within one and a half
// keep-alive periods; the client asks it after one.
TEST(BrokerLiveness, DeadAfterOneAndAHalfKeepAlivePeriodsOfSilence) {
  BrokerLiveness alive(std::chrono::seconds(30));
  const auto t0 = BrokerLiveness::Clock::time_point{} + 1h;
  alive.heard(t0);
  EXPECT_FALSE(alive.dead(t0 + 45s));
  EXPECT_TRUE(alive.dead(t0 + 45s + 1ms));
  alive.heard(t0 + 40s);
  EXPECT_FALSE(alive.dead(t0 + 85s));
}

// What escapes a handler on the connection's network thread stops the host.
TEST_F(Bridge, FailureOnTheNetworkThreadIsSaid) {
  struct Throwing : HostEvents {
    void mqtt(const std::string&, const std::string&) override { throw std::bad_alloc(); }
  } throwing;
  std::vector<std::string> said;
  threads.wire([&](const std::string& line) { said.push_back(line); });
  auto bridge = make_bridge(throwing);
  broker->connect();
  EXPECT_EQ(said,
            (std::vector<std::string>{"the MQTT network thread failed: std::bad_alloc; stopping"}));
}

// The broker hears of an acknowledgement on the alarms topic, through the
// outbox, with the raise's fields, who and when.
TEST_F(Bridge, AcknowledgementGoesToTheOutboxWithTheRaisesFields) {
  config.topic_prefix = "site";
  slot.config.device_number = 7;
  slot.config.name = "UPS \"A\"";
  {
    const auto bridge = make_bridge();
    ListedAlarm a;
    a.seq = 3;
    a.key = "Number_1_UPS_Alarm_/QLT_0";
    a.fields = R"("round":6,"id":"QLT_0","code":"02401","number":15)";
    a.ack_by = "alice";
    a.ack_time = "2026-12-08 17:05:09";
    bridge->acknowledged(slot, a);
  }
  MqttOutbox outbox(path, 10);
  const std::vector<OutboxRow> rows = outbox.after(0, 10);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].topic, "site/devices/7/alarms");
  const std::string payload = rows[0].payload;
  EXPECT_EQ(
      payload.substr(0, payload.find(",\"time\":")),
      R"({"seq":1,"device":7,"device_name":"UPS \"A\"","state":"acknowledged","round":6,"id":"QLT_0","code":"02401","number":15,"by":"alice","ack_time":"2026-12-08 17:05:09")");
}

}  // namespace
