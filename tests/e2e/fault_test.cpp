// A unit that misbehaves: whatever it does, every image the host publishes
// holds the unit's values, and complete rounds resume soon after the fault.

#include <cstdio>
#include <regex>
#include <thread>

#include "host/rule_value.h"
#include "testkit/hostile_unit.h"
#include "testkit/net_cut.h"
#include "tests/e2e/e2e_fixture.h"

namespace {

using namespace std::chrono_literals;
using qltsim::Fault;
using qltsim::FaultMode;
using qltsim::Schedule;

// Every 15th request: a pass takes 12, so the faults strike at every point
// of a pass in turn, mostly in its middle, and some passes still get through.
const Schedule every_15th = Schedule::every_nth_request(15);

struct FaultCase {
  const char* name;
  Fault fault;
};

Fault with_delay(Fault f, std::chrono::milliseconds d) {
  f.delay = d;
  return f;
}

Fault with_missing(Fault f, int missing) {
  f.missing_items = missing;
  return f;
}

const FaultCase cases[] = {
    {"split_byte_by_byte", Fault(FaultMode::split)},
    {"two_replies_in_one_segment", Fault(FaultMode::coalesce, every_15th)},
    {"dropped_reply", Fault(FaultMode::drop, every_15th)},
    {"error_reply", Fault(FaultMode::error, every_15th)},
    {"exception_reply", Fault(FaultMode::exception, every_15th)},
    {"short_reply", with_missing(Fault(FaultMode::short_reply, every_15th), 3)},
    {"byte_count_lies", Fault(FaultMode::lying_count, every_15th)},
    {"junk_before_the_reply", Fault(FaultMode::junk, every_15th)},
    {"reply_to_another_request", Fault(FaultMode::wrong_tid, every_15th)},
    {"slower_than_the_poll", with_delay(Fault(FaultMode::delay), 110ms)},
    {"connection_cut_mid_pass", Fault(FaultMode::close, every_15th)},
    {"mute_for_three_requests", Fault(FaultMode::mute, Schedule::next_requests(3))},
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class UnitFault : public EndToEnd, public ::testing::WithParamInterface<FaultCase> {};

// Polls every 100 ms and gives up on a reply after 1 s, so a fault costs
// about a second; three more complete rounds must follow within 8 s, even on
// a loaded machine or with a unit slower than the poll.
TEST_P(UnitFault, ImagesStayTrueAndRoundsResume) {
  qltsim::Unit& unit = add_unit({7, {1, 0, 0, 0, 1}});
  unit.set("temperature_2_value", 31.25f);
  unit.raise("ac1.QLT_150");
  sim.start();
  write_config(100, "", R"(, "reply_timeout_ms": 1000)");
  auto host = start_host({"--quiet"});
  ASSERT_TRUE(published(7)) << host->out();

  unit.set_fault(GetParam().fault);
  const size_t before = events_of("publish", 7).size();
  const auto start = std::chrono::steady_clock::now();
  const size_t want = before + 3;
  ASSERT_TRUE(eventually([&] { return events_of("publish", 7).size() >= want; }, 8s))
      << GetParam().name << "\n"
      << host->out();
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  host->interrupt();
  ASSERT_EQ(host->wait(10s), 0);

  for (const Json::Value& p : events_of("publish", 7)) expect_image_matches(p, unit, 7);
  RecordProperty("resumed_ms", static_cast<int>(took.count()));
}

INSTANTIATE_TEST_SUITE_P(EveryFault, UnitFault, ::testing::ValuesIn(cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EndToEnd, UnitRestartingIsReconnectedAndPolledAgain) {
  qltsim::Unit& unit = add_unit({7, {0, 1, 0, 0, 1}});
  sim.start();
  write_config(100, "", R"(, "reply_timeout_ms": 300)");
  auto host = start_host({"--quiet"});
  ASSERT_TRUE(published(7));
  unit.restart();
  const size_t before = events_of("publish", 7).size();
  ASSERT_TRUE(eventually([&] { return events_of("publish", 7).size() >= before + 3; }, 8s));
  host->interrupt();
  ASSERT_EQ(host->wait(10s), 0);
  for (const Json::Value& p : events_of("publish", 7)) expect_image_matches(p, unit, 7);
  EXPECT_GE(unit.connections_accepted(), 2u);
}

using Clock = std::chrono::steady_clock;

long count_of(const std::string& text, const std::string& what) {
  long n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Item k of a published image, as a float.
float image_item(const Json::Value& publish, long k) {
  return value_of_bits(image_word(publish["image"].asString(), 4 + 4 * k));
}

// A unit behind a serial gateway answers each request in turn: with one
// request outstanding, a pass of nine batches takes nine replies' time.
TEST_F(EndToEnd, SerialGatewayGetsARoundEveryPassTime) {
  qltsim::Unit& unit = add_unit({7, {1, 0, 0, 0, 0}});
  unit.set_fault(with_delay(Fault(FaultMode::gateway), 120ms));
  sim.start();
  write_config(40, "", R"(, "reply_timeout_ms": 400)");
  auto host = start_host({"--quiet"});
  ASSERT_TRUE(published(7)) << host->out();
  const auto times = publish_times(7, 6s);
  host->interrupt();
  ASSERT_EQ(host->wait(10s), 0);

  ASSERT_GE(times.size(), 4u) << host->out();
  Clock::duration longest{};
  for (size_t i = 1; i < times.size(); ++i) longest = std::max(longest, times[i] - times[i - 1]);
  std::printf("serial gateway: %zu rounds in 6 s, at most %lld ms apart\n", times.size(),
              static_cast<long long>(
                  std::chrono::duration_cast<std::chrono::milliseconds>(longest).count()));
  EXPECT_LE(longest, 1300ms + 20ms);
  for (const Json::Value& p : events_of("publish", 7)) expect_image_matches(p, unit, 7);
  EXPECT_EQ(count_of(host->out(), "Error:"), 0) << host->out();
}

// A unit that takes the connection and never answers is given up on every
// time-out, whatever the poll interval, and asked again.
TEST_F(EndToEnd, MuteUnitTimesOutAndIsAskedAgain) {
  qltsim::Unit& unit = add_unit({7, {0, 0, 0, 0, 0}});
  unit.set_fault(Fault(FaultMode::mute));
  sim.start();
  write_config(1000);
  auto host = start_host({"--quiet"});
  std::vector<Clock::time_point> asked;
  for (std::uint64_t n = 1; n <= 3; ++n) {
    ASSERT_TRUE(unit.wait_for_requests(n, 10s)) << host->out();
    asked.push_back(Clock::now());
  }
  host->interrupt();
  ASSERT_EQ(host->wait(10s), 0);
  std::printf(
      "mute unit: asked again after %lld ms and %lld ms\n",
      static_cast<long long>(
          std::chrono::duration_cast<std::chrono::milliseconds>(asked[1] - asked[0]).count()),
      static_cast<long long>(
          std::chrono::duration_cast<std::chrono::milliseconds>(asked[2] - asked[1]).count()));
  // The defaults: a 3 s time-out noticed at the next poll of a 1 s interval.
  for (size_t i = 1; i < asked.size(); ++i) {
    EXPECT_GE(asked[i] - asked[i - 1], 2900ms) << i;
    EXPECT_LE(asked[i] - asked[i - 1], 4300ms) << i;
  }
  EXPECT_GE(count_of(host->out(), "QLTModel::RefreshStatus reply timeout: data_id:107 batch:0\n"),
            2)
      << host->out();
}

// Every reply comes twice, the copy arriving while a later request is
// awaited: only the reply to the request outstanding may land in an image.
// Device 7 reads one batch per pass, so the copy arrives while the same
// batch is awaited again; device 8 reads four.
TEST_F(EndToEnd, LateDuplicatesNeverReachAnImage) {
  HostileUnit one_batch({100ms, false, 120ms, false});
  HostileUnit four_batches({100ms, false, 120ms, false});
  add_endpoint({7, {0, 0, 0, 0, 0}}, one_batch.port());
  add_endpoint({8, {0, 0, 0, 0, 1}}, four_batches.port());
  write_config(50);
  auto host = start_host({"--quiet"});
  ASSERT_TRUE(published(7, 5) && published(8, 5)) << host->out();
  host->interrupt();
  ASSERT_EQ(host->wait(10s), 0);

  // Item k of an image came from the reply that answered its batch: the
  // batches of one pass are consecutive replies, and passes follow each other.
  for (const auto& [device, items] : {std::pair{7u, 20L}, std::pair{8u, 166L}}) {
    float last = 0;
    for (const Json::Value& p : events_of("publish", device)) {
      const float first = image_item(p, 0);
      for (long k = 0; k < items; ++k)
        ASSERT_EQ(image_item(p, k), first + static_cast<float>(k / 50)) << device << " item " << k;
      EXPECT_GT(first, last) << device;
      last = first;
    }
  }
  EXPECT_GE(count_of(host->out(), "expected_trans_id"), 8) << host->out();
}

// The items of an image came from consecutive replies of one unit, one
// reply a batch of 50: they hold the first item's value, plus one each 50.
void expect_one_pass_of_one_unit(const Json::Value& publish, long items, float unit_base) {
  const float first = image_item(publish, 0);
  EXPECT_GE(first, unit_base + 1);
  EXPECT_LT(first, unit_base + 100000);
  for (long k = 0; k < items; ++k)
    ASSERT_EQ(image_item(publish, k), first + static_cast<float>(k / 50)) << "item " << k;
}

struct HostileCase {
  const char* name;
  HostileUnit::Behaviour behaviour;
  // Whether rounds complete; a line the host's output holds (exactly once
  // when rounds complete).
  bool rounds;
  const char* line;
};

HostileUnit::Behaviour cut_reply() {
  HostileUnit::Behaviour b;
  // Reply 6 answers the second batch of the second pass. Its rest comes
  // after the 1 s time-out, once the next pass has asked again; read as a
  // header it would declare 3861 bytes.
  b.cut_reply = 6;
  b.cut_at = 110;
  b.cut_wait = std::chrono::milliseconds(1500);
  b.cut_fill = 0x0f;
  return b;
}

HostileUnit::Behaviour replying_with(int trans_id, int unit_id, int proto_id, bool varies = false) {
  HostileUnit::Behaviour b;
  b.trans_id = trans_id;
  b.unit_id = unit_id;
  b.proto_id = proto_id;
  b.unit_id_varies = varies;
  return b;
}

// Units that attack the host rather than fail it, each for a while, with
// what the host must still do. Their output counted, never a rate asserted.
struct AttackCase {
  const char* name;
  HostileUnit::Behaviour behaviour;
  std::chrono::seconds run_for;
  void (*check)(const HostileUnit& unit, const std::string& out,
                const std::vector<Json::Value>& links);
};

long lines_with(const std::string& out, const std::string& what) { return count_of(out, what); }

// Accepts and resets every connection for a minute: the back-off grows (no
// round completes), the link says four lines and one summary, and the problem
// keeps the time it started.
void reset_at_accept(const HostileUnit& unit, const std::string& out,
                     const std::vector<Json::Value>& links) {
  EXPECT_GE(unit.accepted(), 5);
  EXPECT_LE(unit.accepted(), 10) << out;
  // Two lines of each kind (up; lost; and, when the reset comes during the
  // connect, cannot connect), and the summary.
  EXPECT_LE(links.size(), 7u) << out;
  EXPECT_LE(lines_with(out, "kpl-host: device 7 connected") +
                lines_with(out, "kpl-host: device 7 disconnected"),
            7)
      << out;
  EXPECT_EQ(lines_with(out, " times in the last minute"), 1) << out;
  const std::regex lasting("device 7 status: .* since [0-9-]+ [0-9:]+ \\(([0-9]+) s\\)");
  // The last status line, at the stop.
  long lasted = -1;
  for (auto it = std::sregex_iterator(out.begin(), out.end(), lasting);
       it != std::sregex_iterator(); ++it)
    lasted = std::stol((*it)[1]);
  EXPECT_GE(lasted, 55) << out;
}

// Thousands of frames a second that nobody asked for: twenty lines of a kind
// a minute, the rest counted, and the device degraded for it.
void floods(const HostileUnit& unit, const std::string& out, const std::vector<Json::Value>&) {
  const std::string kind = "no request outstanding\n";
  const long passed = lines_with(out, kind);
  EXPECT_GE(passed, 1) << out.substr(0, 2000);
  EXPECT_LE(passed, 20);
  const std::regex summary(
      "kpl-host: device 7: ([0-9]+) more lines like \"QLTModel::process_payload "
      "Error:data_id:# trans_id:# no request outstanding\" suppressed");
  long suppressed = 0;
  for (auto it = std::sregex_iterator(out.begin(), out.end(), summary);
       it != std::sregex_iterator(); ++it)
    suppressed += std::stol((*it)[1]);
  // Every frame sent makes one line, passed or counted: at most that many,
  // and most of them (a frame that lands on a reply's time is another kind).
  EXPECT_LE(passed + suppressed, unit.unsolicited());
  EXPECT_GE(passed + suppressed, unit.unsolicited() / 2) << unit.unsolicited();
  EXPECT_LE(lines_with(out, "Error:"), 100) << out.substr(0, 2000);
  EXPECT_NE(out.find("device 7 status: degraded (the unit floods: "), std::string::npos) << out;
}

void PrintTo(const AttackCase& c, std::ostream* os) { *os << c.name; }

HostileUnit::Behaviour resetting() {
  HostileUnit::Behaviour b;
  b.reset_at_accept = true;
  return b;
}

HostileUnit::Behaviour flooding() {
  HostileUnit::Behaviour b;
  b.reply_after = 20ms;
  b.unsolicited_per_second = 2000;
  return b;
}

const HostileCase hostile_cases[] = {
    {"rest_of_a_reply_after_the_time_out", cut_reply(), true,
     "QLTProtocol::process_data dropped a frame given up on: data_id:107"},
    {"transaction_id_always_0", replying_with(0, -1, 0), true,
     "the unit does not echo transaction ids; its replies are taken in order"},
    {"always_unit_9", replying_with(-1, 9, 0), true,
     "unit_id:9 expected_unit_id:1 the unit answers with another unit id; its replies are taken"},
    {"unit_9_protocol_7", replying_with(-1, 9, 7), false,
     "QLTModel::process_payload Error:data_id:107 proto_id:7 expected_proto_id:0"},
    {"unit_id_changing", replying_with(-1, 9, 0, true), false,
     "QLTModel::process_payload Error:data_id:107 unit_id:11 expected_unit_id:1"},
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

class HostileReplies : public EndToEnd, public ::testing::WithParamInterface<HostileCase> {};

// A unit written apart from the plug-in answers in ways a field unit does:
// images hold one pass of its own replies each, and a unit that breaks a
// rule the same way every time is read, while one whose replies cannot be
// its own is refused.
TEST_P(HostileReplies, ImagesHoldThisUnitsRepliesOnly) {
  const HostileCase& c = GetParam();
  HostileUnit unit(c.behaviour);
  add_endpoint({7, {0, 0, 0, 0, 1}}, unit.port());
  write_config(100, "", R"(, "reply_timeout_ms": 1000)");
  const auto start = Clock::now();
  auto host = start_host({"--quiet"});
  if (c.rounds) {
    ASSERT_TRUE(eventually([&] { return !events_of("publish", 7).empty(); }, 15s)) << host->out();
    const auto first = Clock::now() - start;
    ASSERT_TRUE(eventually([&] { return events_of("publish", 7).size() >= 4; }, 15s))
        << host->out();
    std::printf("%s: first round after %lld ms\n", c.name,
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(first).count()));
  } else {
    ASSERT_TRUE(eventually([&] { return unit.answered().size() >= 4; }, 15s)) << host->out();
  }
  host->interrupt();
  ASSERT_EQ(host->wait(10s), 0);

  const auto images = events_of("publish", 7);
  for (const Json::Value& p : images) expect_one_pass_of_one_unit(p, 166, 0);
  const std::string out = host->out();
  if (!c.rounds) {
    EXPECT_TRUE(images.empty());
    EXPECT_GE(count_of(out, c.line), 1) << out;
    return;
  }
  EXPECT_EQ(count_of(out, c.line), 1) << out;
  if (c.behaviour.cut_reply == 0) return;
  // Only the pass the cut reply was in is lost: the first image after it
  // is of the pass that the time-out started, whose first reply is the
  // first to start at item 0 after the cut one.
  const auto answered = unit.answered();
  size_t restart = static_cast<size_t>(c.behaviour.cut_reply);
  while (restart < answered.size() && answered[restart] != 0) ++restart;
  float after_cut = 0;
  for (const Json::Value& p : images)
    if (after_cut == 0 && image_item(p, 0) > static_cast<float>(c.behaviour.cut_reply))
      after_cut = image_item(p, 0);
  EXPECT_EQ(after_cut, static_cast<float>(restart + 1)) << out;
  std::printf("%s: passes lost after the one cut: %d\n", c.name,
              static_cast<int>(after_cut) - static_cast<int>(restart + 1));
}

INSTANTIATE_TEST_SUITE_P(FieldUnits, HostileReplies, ::testing::ValuesIn(hostile_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// Two devices on one gateway, asking for units 1 and 2, while the gateway
// copies every reply to every connection: each device's images hold only
// its own unit's replies.
TEST_F(EndToEnd, BroadcastingGatewayNeverMixesUnits) {
  HostileUnit::Behaviour b;
  b.reply_after = 5ms;
  b.serial = true;
  b.broadcast = true;
  HostileUnit gateway(b);
  add_endpoint({7, {0, 0, 0, 0, 1}, 1}, gateway.port());
  add_endpoint({8, {0, 0, 0, 0, 1}, 2}, gateway.port());
  write_config(50, "", R"(, "reply_timeout_ms": 1000)");
  auto host = start_host({"--quiet"});
  ASSERT_TRUE(published(7, 5) && published(8, 5)) << host->out();
  host->interrupt();
  ASSERT_EQ(host->wait(10s), 0);

  for (const Json::Value& p : events_of("publish", 7)) expect_one_pass_of_one_unit(p, 166, 0);
  for (const Json::Value& p : events_of("publish", 8)) expect_one_pass_of_one_unit(p, 166, 100000);
  EXPECT_GE(count_of(host->out(), "unit_id:2 expected_unit_id:1"), 1) << host->out();
  EXPECT_GE(count_of(host->out(), "unit_id:1 expected_unit_id:2"), 1) << host->out();
}

const AttackCase attack_cases[] = {
    {"reset_at_accept", resetting(), 61s, &reset_at_accept},
    {"unsolicited_flood", flooding(), 15s, &floods},
};

class HostileUnits : public EndToEnd, public ::testing::WithParamInterface<AttackCase> {};

TEST_P(HostileUnits, HostHoldsItsGround) {
  HostileUnit unit(GetParam().behaviour);
  add_endpoint({7, {0, 0, 0, 0, 0}}, unit.port());
  write_config(100);
  auto host = start_host({});
  // The attack's length, not a wait for something to happen.
  std::this_thread::sleep_for(GetParam().run_for);
  host->interrupt();
  ASSERT_EQ(host->wait(20s), 0);
  GetParam().check(unit, host->out(), events_of("link", 7));
}

INSTANTIATE_TEST_SUITE_P(Attacks, HostileUnits, ::testing::ValuesIn(attack_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// Packets to and from the unit dropped for 30 s: the host drops the silent
// connection after its time-outs, tries again every connect time-out, and
// polls again soon after the network heals, without a burst of requests that
// waited for the dead connection.
TEST_F(EndToEnd, SilentCutOfThirtySecondsHeals) {
  std::unique_ptr<NetworkCut> net;
  try {
    net = std::make_unique<NetworkCut>();
  } catch (const std::runtime_error& e) {
    GTEST_SKIP() << e.what();
  }
  HostileUnit unit({});
  add_endpoint({7, {0, 0, 0, 0, 0}}, unit.port());
  write_config(200, R"(, "connect_timeout_ms": 1000)", R"(, "reply_timeout_ms": 1000)");
  auto host = start_host({"--quiet"});
  ASSERT_TRUE(published(7, 3)) << host->out();
  const auto cut_at = Clock::now();
  net->cut(unit.port());
  ASSERT_TRUE(eventually(
      [&] {
        for (const Json::Value& e : events_of("link", 7))
          if (e["detail"].asString().find("dropped: no reply to 3 passes in a row") !=
              std::string::npos)
            return true;
        return false;
      },
      15s))
      << host->out();
  // The cut's length, not a wait for something to happen.
  std::this_thread::sleep_until(cut_at + 30s);
  const size_t before = events_of("publish", 7).size();
  const size_t asked = unit.arrivals().size();
  const auto healed = Clock::now();
  net->heal();
  ASSERT_TRUE(eventually([&] { return events_of("publish", 7).size() > before; }, 15s))
      << host->out();
  const auto back = Clock::now() - healed;
  std::printf(
      "silent cut: rounds back %lld ms after the network healed\n",
      static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(back).count()));
  // Poll (0.2 s) + reply time-out (1 s) + connect time-out (1 s), and a
  // little for a loaded machine.
  EXPECT_LE(back, 2200ms + 800ms);
  host->interrupt();
  ASSERT_EQ(host->wait(10s), 0);
  // No burst: the first requests after the heal come one per pass.
  const auto arrivals = unit.arrivals();
  ASSERT_GT(arrivals.size(), asked);
  long burst = 0;
  for (size_t i = asked; i < arrivals.size(); ++i) burst += arrivals[i] - arrivals[asked] < 50ms;
  EXPECT_LE(burst, 2) << arrivals.size() - asked << " requests after the heal";
}

}  // namespace
