// A unit that misbehaves: whatever it does, every image the host publishes
// holds the unit's values, and complete rounds resume soon after the fault.

#include <cstdio>
#include <thread>

#include "host/rule_value.h"
#include "testkit/hostile_unit.h"
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
    {"serial_gateway", with_delay(Fault(FaultMode::gateway), 40ms)},
    {"mute_for_three_requests", Fault(FaultMode::mute, Schedule::next_requests(3))},
    {"late_duplicate_of_every_reply", with_delay(Fault(FaultMode::late_duplicate), 15ms)},
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

}  // namespace
