// Units served over loopback TCP: replies, input in any pieces, every fault
// mode's bytes on the wire, unit ids, restarts and several units in one
// simulator.

#include <gtest/gtest.h>

#include "apps/qlt-unit-sim/simulator.h"
#include "testkit/frames.h"
#include "testkit/modbus_client.h"
#include "testkit/process.h"

namespace {

using namespace qltsim;
using namespace std::chrono_literals;

// The reply to read_request(1, 0, 2) with items 0 and 1 at 1.0 and 3.14.
const char* const plain_reply = "00 01 00 00 00 0b 01 03 08 00 00 3f 80 f5 c3 40 48";

class SimServer : public ::testing::Test {
 protected:
  void SetUp() override {
    unit = &add({});
    sim.start();
  }

  Unit& add(Composition c, std::uint8_t unit_id = 1) {
    UnitConfig cfg;
    cfg.composition = c;
    cfg.vary = false;
    cfg.unit_id = unit_id;
    Unit& u = sim.add_unit(cfg);
    u.set("item:0", 1.0f);
    u.set("item:1", 3.14f);
    return u;
  }

  // Sends read_request(tid, 0, 2) and returns the n bytes that come back.
  static std::string ask(ModbusClient& c, std::uint16_t tid = 1, std::size_t n = 17) {
    c.send(read_request(tid, 0, 2));
    return to_hex(c.read(n));
  }

  Simulator sim;
  Unit* unit = nullptr;
};

TEST_F(SimServer, AnswersOverLoopbackWithTheValuesOfTheMoment) {
  ModbusClient c(unit->port());
  EXPECT_EQ(ask(c), plain_reply);
  unit->set("item:1", -2.5f);
  EXPECT_EQ(ask(c, 2), "00 02 00 00 00 0b 01 03 08 00 00 3f 80 00 00 c0 20");
  c.send(read_request(3, 19, 2));
  EXPECT_EQ(to_hex(c.read(9)), "00 03 00 00 00 03 01 83 02");
  EXPECT_EQ(unit->requests_served(), 3u);
}

TEST_F(SimServer, AnswersRequestsSplitOrRunTogetherInTheInput) {
  ModbusClient c(unit->port());
  const Bytes one = read_request(1, 0, 2);
  for (unsigned char b : one) c.send(Bytes{b});
  EXPECT_EQ(to_hex(c.read(17)), plain_reply);

  Bytes three;
  for (std::uint16_t tid : {7, 8, 9}) {
    const Bytes r = read_request(tid, 8, 1);
    three.insert(three.end(), r.begin(), r.end());
  }
  c.send(three);
  const Bytes replies = c.read(3 * 13);
  ASSERT_EQ(replies.size(), 3u * 13);
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(replies[i * 13 + 1], 7 + i);
}

struct WireCase {
  const char* what;
  Fault fault;
  const char* bytes;
};

Fault with_junk(Octets junk) {
  Fault f{FaultMode::junk};
  f.junk = std::move(junk);
  return f;
}

TEST_F(SimServer, EachFaultModeShapesTheBytesOnTheWire) {
  const WireCase cases[] = {
      {"error", Fault{FaultMode::error}, "00 01 00 00 00 03 01 90 04"},
      {"exception", Fault{FaultMode::exception}, "00 01 00 00 00 03 01 83 04"},
      {"short", Fault{FaultMode::short_reply}, "00 01 00 00 00 07 01 03 04 00 00 3f 80"},
      {"lying_count", Fault{FaultMode::lying_count}, "00 01 00 00 00 07 01 03 08 00 00 3f 80"},
      {"wrong_tid", Fault{FaultMode::wrong_tid},
       "00 02 00 00 00 0b 01 03 08 00 00 3f 80 f5 c3 40 48"},
      {"junk", with_junk({0x55, 0xAA}), "55 aa 00 01 00 00 00 0b 01 03 08 00 00 3f 80 f5 c3 40 48"},
      {"split", Fault{FaultMode::split}, plain_reply},
  };
  for (const WireCase& c : cases) {
    unit->set_fault(c.fault);
    const auto writes_before = unit->writes();
    ModbusClient client(unit->port());
    const std::size_t n = hex(c.bytes).size();
    EXPECT_EQ(ask(client, 1, n), c.bytes) << c.what;
    const std::uint64_t writes = c.fault.mode == FaultMode::split ? n : 1;
    EXPECT_TRUE(eventually([&] { return unit->writes() - writes_before == writes; }, 5s)) << c.what;
  }
}

TEST_F(SimServer, DropLeavesARequestUnanswered) {
  unit->set_fault(Fault{FaultMode::drop, Schedule::next_requests(1)});
  ModbusClient c(unit->port());
  c.send(read_request(1, 0, 2));
  EXPECT_EQ(ask(c, 2), "00 02 00 00 00 0b 01 03 08 00 00 3f 80 f5 c3 40 48");
}

TEST_F(SimServer, LeavesRequestsForAnotherUnitIdUnansweredOnAnOpenConnection) {
  Unit& five = add({}, 5);
  ModbusClient c(five.port());
  Bytes for_five = read_request(2, 0, 2);
  for_five[6] = 5;  // The unit id.
  c.send(read_request(1, 0, 2));
  ASSERT_TRUE(five.wait_for_requests(1, 5s));
  EXPECT_TRUE(c.read_some(300ms).empty());
  c.send(for_five);
  EXPECT_EQ(to_hex(c.read(17)), "00 02 00 00 00 0b 05 03 08 00 00 3f 80 f5 c3 40 48");
  EXPECT_EQ(five.requests_served(), 2u);
}

TEST_F(SimServer, CoalesceSendsTwoRepliesInOneWrite) {
  unit->set_fault(Fault{FaultMode::coalesce, Schedule::next_requests(1)});
  ModbusClient c(unit->port());
  c.send(read_request(1, 0, 2));
  ASSERT_TRUE(unit->wait_for_requests(1, 5s));
  c.send(read_request(2, 0, 2));
  const std::string both = to_hex(c.read_some());
  EXPECT_EQ(both, std::string(plain_reply) + " 00 02 00 00 00 0b 01 03 08 00 00 3f 80 f5 c3 40 48");
  EXPECT_TRUE(eventually([&] { return unit->writes() == 1; }, 5s));
}

TEST_F(SimServer, DelayHoldsBackTheReplyAndThoseBehindIt) {
  Fault slow{FaultMode::delay, Schedule::next_requests(1)};
  slow.delay = 300ms;
  unit->set_fault(slow);
  ModbusClient c(unit->port());
  const auto sent = std::chrono::steady_clock::now();
  c.send(read_request(1, 0, 2));
  c.send(read_request(2, 0, 2));
  const Bytes replies = c.read(34);
  EXPECT_GE(std::chrono::steady_clock::now() - sent, 300ms);
  ASSERT_EQ(replies.size(), 34u);
  EXPECT_EQ(replies[1], 1);
  EXPECT_EQ(replies[18], 2);
}

TEST_F(SimServer, GatewayTakesUpOneRequestAtATimeInArrivalOrder) {
  Fault gateway{FaultMode::gateway};
  gateway.delay = 100ms;
  unit->set_fault(gateway);
  ModbusClient c(unit->port());
  const auto sent = std::chrono::steady_clock::now();
  c.send(read_request(1, 0, 2));
  c.send(read_request(2, 0, 2));
  ASSERT_TRUE(unit->wait_for_requests(1, 5s));
  // Arrives while the first is on its way, and repeats the second.
  c.send(read_request(2, 0, 2));
  for (int turn = 1; turn <= 3; ++turn) {
    const Bytes reply = c.read(17);
    ASSERT_EQ(reply.size(), 17u) << turn;
    EXPECT_EQ(reply[1], turn == 1 ? 1 : 2) << turn;
    EXPECT_GE(std::chrono::steady_clock::now() - sent, turn * 100ms) << turn;
  }
}

TEST_F(SimServer, MuteReadsRequestsAndAnswersNothingWhateverElseHitsThem) {
  unit->set_faults({Fault{FaultMode::mute}, Fault{FaultMode::exception}, Fault{FaultMode::close}});
  ModbusClient c(unit->port());
  c.send(read_request(1, 0, 2));
  c.send(read_request(2, 0, 2));
  ASSERT_TRUE(unit->wait_for_requests(2, 5s));
  EXPECT_TRUE(c.read_some(300ms).empty());
  // Still the same connection: it was never closed.
  unit->clear_faults();
  EXPECT_EQ(ask(c, 3), "00 03 00 00 00 0b 01 03 08 00 00 3f 80 f5 c3 40 48");
}

TEST_F(SimServer, LateDuplicateRepeatsTheReplyWithoutHoldingUpTheNext) {
  Fault twice{FaultMode::late_duplicate, Schedule::next_requests(1)};
  twice.delay = 500ms;
  unit->set_fault(twice);
  ModbusClient c(unit->port());
  const auto sent = std::chrono::steady_clock::now();
  EXPECT_EQ(ask(c), plain_reply);
  EXPECT_EQ(ask(c, 2), "00 02 00 00 00 0b 01 03 08 00 00 3f 80 f5 c3 40 48");
  EXPECT_EQ(to_hex(c.read(17)), plain_reply);
  EXPECT_GE(std::chrono::steady_clock::now() - sent, 500ms);
  EXPECT_TRUE(c.read_some(200ms).empty());
}

TEST_F(SimServer, CloseCutsTheConnectionInsteadOfAnswering) {
  unit->set_fault(Fault{FaultMode::close, Schedule::next_requests(1)});
  ModbusClient cut(unit->port());
  cut.send(read_request(1, 0, 2));
  EXPECT_TRUE(cut.closed_by_peer());
  ModbusClient next(unit->port());
  EXPECT_EQ(ask(next), plain_reply);
}

TEST_F(SimServer, RestartClosesConnectionsAndListensOnTheSamePort) {
  const unsigned short port = unit->port();
  ModbusClient before(port);
  EXPECT_EQ(ask(before), plain_reply);
  unit->restart();
  EXPECT_TRUE(before.closed_by_peer());
  EXPECT_EQ(unit->port(), port);
  ModbusClient after(port);
  EXPECT_EQ(ask(after), plain_reply);
  EXPECT_EQ(unit->connections_accepted(), 2u);
}

TEST_F(SimServer, SeveralUnitsServeTheirOwnItems) {
  Composition with_ups;
  with_ups.ups = 1;
  Unit& other = add(with_ups);
  other.set("item:1", 8.0f);
  ASSERT_NE(other.port(), unit->port());

  ModbusClient a(unit->port()), b(other.port());
  EXPECT_EQ(ask(a), plain_reply);
  EXPECT_EQ(ask(b), "00 01 00 00 00 0b 01 03 08 00 00 3f 80 00 00 41 00");
  a.send(read_request(2, 20, 1));
  b.send(read_request(2, 20 + 76, 1));
  EXPECT_EQ(to_hex(a.read(9)), "00 02 00 00 00 03 01 83 02");
  EXPECT_EQ(to_hex(b.read(13)), "00 02 00 00 00 07 01 03 04 00 00 42 58");
}

}  // namespace
