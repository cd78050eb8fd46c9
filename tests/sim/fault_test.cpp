// Which requests a fault hits, how faults are written in the configuration,
// and what faults acting together make of a reply.

#include <gtest/gtest.h>
#include <json/json.h>

#include "apps/qlt-unit-sim/fault_effects.h"
#include "apps/qlt-unit-sim/fault_json.h"
#include "apps/qlt-unit-sim/json_read.h"
#include "testkit/hex.h"
#include "testkit/json_text.h"

namespace {

using namespace qltsim;

// "x" for each of the first n requests that the fault hits, "." otherwise.
std::string hits(Schedule when, int n) {
  FaultSet set;
  set.add(Fault{FaultMode::drop, when});
  std::string out;
  for (int i = 0; i < n; ++i) out += set.take().empty() ? '.' : 'x';
  return out;
}

TEST(SimFaultSchedule, HitsEveryEveryNthOrTheNextRequests) {
  EXPECT_EQ(hits(Schedule::always(), 5), "xxxxx");
  EXPECT_EQ(hits(Schedule::every_nth_request(3), 7), "..x..x.");
  EXPECT_EQ(hits(Schedule::next_requests(2), 5), "xx...");
  EXPECT_THROW(hits(Schedule::next_requests(0), 1), std::invalid_argument);
}

TEST(SimFaultSchedule, SetStartsCountingAfresh) {
  FaultSet set;
  set.set({Fault{FaultMode::drop, Schedule::every_nth_request(2)}});
  set.take();
  set.set({Fault{FaultMode::drop, Schedule::every_nth_request(2)}});
  EXPECT_TRUE(set.take().empty());
  EXPECT_EQ(set.take().size(), 1u);
}

TEST(SimFaultJson, ReadsModeScheduleAndSettings) {
  const std::vector<Fault> f = faults_from_json(json_of(R"([
      {"mode": "delay_ms", "ms": 1500, "every_nth": 3},
      {"mode": "junk", "bytes": "0 ff 7"},
      {"mode": "short", "missing_items": 2, "next": 4},
      {"mode": "error", "code": 11, "every": true},
      {"mode": "gateway", "ms": 120},
      {"mode": "late_duplicate", "ms": 800},
      {"mode": "mute"}])"),
                                                "faults");
  ASSERT_EQ(f.size(), 7u);
  EXPECT_EQ(f[0].mode, FaultMode::delay);
  EXPECT_EQ(f[0].delay.count(), 1500);
  EXPECT_EQ(f[0].when.kind, Schedule::every_nth);
  EXPECT_EQ(f[0].when.n, 3);
  EXPECT_EQ(to_hex(f[1].junk), "00 ff 07");
  EXPECT_EQ(f[1].when.kind, Schedule::every);
  EXPECT_EQ(f[2].missing_items, 2);
  EXPECT_EQ(f[2].when.kind, Schedule::next);
  EXPECT_EQ(f[3].code, 11);
  EXPECT_EQ(f[4].mode, FaultMode::gateway);
  EXPECT_EQ(f[4].delay.count(), 120);
  EXPECT_EQ(f[5].mode, FaultMode::late_duplicate);
  EXPECT_EQ(f[5].delay.count(), 800);
  EXPECT_EQ(f[6].mode, FaultMode::mute);
}

TEST(SimFaultJson, NamesTheKeyThatIsWrong) {
  const std::pair<const char*, const char*> bad[] = {
      {R"([{"mode": "explode"}])", "faults[0].mode"},
      {R"([{"mode": "delay_ms"}])", "faults[0].ms"},
      {R"([{"mode": "gateway"}])", "faults[0].ms: a gateway fault"},
      {R"([{"mode": "late_duplicate", "next": 1}])", "faults[0].ms: a late_duplicate fault"},
      {R"([{"mode": "drop", "next": 2, "every_nth": 2}])", "faults[0]: give at most one"},
      {R"([{"mode": "drop", "next": 0}])", "faults[0].next"},
      {R"([{"mode": "junk", "bytes": "xyz"}])", "faults[0].bytes"},
      {R"([{"mode": "drop"}, {"mode": "drop", "count": 1}])", "faults[1].count"},
      {R"({"mode": "drop"})", "faults: expected an array"},
  };
  for (const auto& [text, where] : bad) {
    try {
      faults_from_json(json_of(text), "faults");
      ADD_FAILURE() << text << " accepted";
    } catch (const ConfigError& e) {
      EXPECT_NE(std::string(e.what()).find(where), std::string::npos) << e.what();
    }
  }
}

TEST(SimFaultEffects, FaultsActTogetherInAFixedOrder) {
  const Reply data = Reply::data(7, 1, {1.0f, 2.0f, 3.0f});
  Fault junk{FaultMode::junk};
  junk.junk = {0xEE};
  // Written in the opposite order to the one they act in.
  const ReplyPlan p = plan_reply(
      data, 3,
      {Fault{FaultMode::split}, junk, Fault{FaultMode::wrong_tid}, Fault{FaultMode::short_reply}});
  EXPECT_EQ(p.delivery, ReplyPlan::Delivery::split);
  EXPECT_EQ(to_hex(p.bytes()), "ee 00 08 00 00 00 0b 01 03 08 00 00 3f 80 00 00 40 00");

  // Cutting items leaves an exception reply alone.
  const ReplyPlan e =
      plan_reply(data, 3, {Fault{FaultMode::short_reply}, Fault{FaultMode::exception}});
  EXPECT_EQ(to_hex(e.bytes()), "00 07 00 00 00 03 01 83 04");
  EXPECT_EQ(plan_reply(std::nullopt, 3, {}).action, ReplyPlan::Action::drop);

  // Nothing brings a muted unit's answer back, not even a fault acting after drop.
  const ReplyPlan m = plan_reply(data, 3, {Fault{FaultMode::mute}, Fault{FaultMode::close}});
  EXPECT_EQ(m.action, ReplyPlan::Action::drop);
}

}  // namespace
