// A unit that misbehaves: whatever it does, every image the host publishes
// holds the unit's values, and complete rounds resume soon after the fault.

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
      << GetParam().name << "\n" << host->out();
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

}  // namespace
