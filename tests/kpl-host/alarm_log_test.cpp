// The alarm log: raises and clears with their time and duration, the alarm
// list an operator sees with who acknowledged what, kept across a restart,
// pages of the log, and its bound; the acknowledgement as the broker gets it.

#include "apps/kpl-host/storage/alarm_log.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "apps/kpl-host/core/device_report.h"
#include "testkit/temp_path.h"

namespace {

using namespace kplhost;
using namespace std::chrono_literals;

class Acknowledgements final : public HostEvents {
 public:
  void acknowledged(const DeviceSlot&, const ListedAlarm& a) override { seen.push_back(a); }
  std::vector<ListedAlarm> seen;
};

DeviceConfig device(unsigned int number) {
  DeviceConfig c;
  c.device_number = number;
  return c;
}

class AlarmLogFile : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path + suffix).c_str());
  }
  std::unique_ptr<AlarmLog> open(bool acknowledging, AlarmLogBound bound = {}) {
    auto log = std::make_unique<AlarmLog>(path, bound, acknowledging, told, [this] { return now; });
    log->load(slot);
    return log;
  }
  // A round whose only change is the UPS mains alarm going on or off.
  void mains(AlarmLog& log, bool on, long round = 6) {
    const rule_value r{
        rule_alarm, "QLT_0", "市电输入告警",        15,
        on,         "02401", "Number_1_UPS_Alarm_", on ? rule_in_alarm : rule_normal};
    log.round(slot, RoundSummary{round, 1, {AlarmChange{on, r}}});
  }
  void hot(AlarmLog& log, bool on, float value) {
    const rule_value r{rule_analogue,
                       "temperature_1_value",
                       "温度1",
                       6,
                       value_bits_of(value),
                       "",
                       "",
                       on ? rule_in_alarm : rule_normal};
    AlarmChange c{on, r};
    c.has_max = true;
    c.max = 35;
    log.round(slot, RoundSummary{7, 1, {c}});
  }

  std::string path = unique_temp_path(".db");
  DeviceSlot slot{device(7)};
  Acknowledgements told;
  AlarmLog::Clock::time_point now = AlarmLog::Clock::now();
};

TEST_F(AlarmLogFile, RaisesAndClearsAreLoggedAsTheEventStreamWritesThem) {
  auto log = open(false);
  mains(*log, true);
  hot(*log, true, 41.5f);
  log->communication(slot, true, "no round for 6.2 s; its values are stale");
  ASSERT_EQ(slot.listed.snapshot().size(), 3u);
  now += 90s;
  mains(*log, false, 14);
  EXPECT_EQ(slot.listed.snapshot().size(), 2u);

  const AlarmLogPage page = log->page({});
  ASSERT_EQ(page.entries.size(), 4u);
  EXPECT_FALSE(page.more);
  // Newest first.
  const AlarmLogEntry& clear = page.entries[0];
  EXPECT_FALSE(clear.raised);
  EXPECT_EQ(
      clear.fields,
      R"("round":14,"id":"QLT_0","code":"02401","desc":"市电输入告警","label":"Number_1_UPS_Alarm_","number":15)");
  EXPECT_EQ(clear.raised_seq, page.entries[3].seq);
  ASSERT_TRUE(clear.duration_s.has_value());
  EXPECT_DOUBLE_EQ(*clear.duration_s, 90);
  EXPECT_EQ(page.entries[1].fields,
            R"("id":"communication_lost","desc":"no round for 6.2 s; its values are stale")");
  EXPECT_EQ(
      page.entries[2].fields,
      R"("round":7,"name":"temperature_1_value","desc":"温度1","value":41.5,"max":35,"number":6)");
  EXPECT_TRUE(page.entries[3].raised);
  EXPECT_EQ(page.entries[3].device_number, 7u);
  EXPECT_EQ(page.entries[3].local_time, local_time_text(now - 90s));

  // What the views show of a listed alarm, read back from its fields.
  const std::vector<ListedAlarm> listed = slot.listed.snapshot();
  EXPECT_EQ(listed[0].id, "temperature_1_value");
  EXPECT_EQ(listed[0].desc, "温度1");
  EXPECT_EQ(listed[1].key, "communication_lost");
  EXPECT_TRUE(listed[1].active);
}

TEST_F(AlarmLogFile, ClearedAlarmStaysListedAcrossARestartUntilAcknowledged) {
  {
    auto log = open(true);
    mains(*log, true);
    hot(*log, true, 40);
    now += 30s;
    mains(*log, false);
  }
  slot.listed.set({});
  auto log = open(true);
  std::vector<ListedAlarm> listed = slot.listed.snapshot();
  ASSERT_EQ(listed.size(), 2u);
  const ListedAlarm cleared = listed[0];
  EXPECT_FALSE(cleared.active);
  EXPECT_EQ(cleared.cleared_time, local_time_text(now));
  EXPECT_EQ(cleared.label, "Number_1_UPS_Alarm_");
  EXPECT_TRUE(listed[1].active);

  // One alarm acknowledged: cleared already, it leaves the list.
  now += 5s;
  const auto done = log->acknowledge(slot, cleared.seq, "alice");
  ASSERT_EQ(done.size(), 1u);
  EXPECT_EQ(done[0].ack_by, "alice");
  EXPECT_EQ(done[0].ack_time, local_time_text(now));
  ASSERT_EQ(told.seen.size(), 1u);
  EXPECT_EQ(told.seen[0].seq, cleared.seq);
  listed = slot.listed.snapshot();
  ASSERT_EQ(listed.size(), 1u);
  // Nothing twice: the acknowledged one is not acknowledged again.
  EXPECT_TRUE(log->acknowledge(slot, cleared.seq, "bob").empty());

  // All of the device's: the active one stays, acknowledged, until cleared.
  EXPECT_EQ(log->acknowledge(slot, 0, "bob").size(), 1u);
  listed = slot.listed.snapshot();
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].ack_by, "bob");
  slot.listed.set({});
  log = open(true);
  ASSERT_EQ(slot.listed.snapshot().size(), 1u);
  EXPECT_EQ(slot.listed.snapshot()[0].ack_by, "bob");
  hot(*log, false, 30);
  EXPECT_TRUE(slot.listed.snapshot().empty());

  // The raise's row keeps who acknowledged it.
  const AlarmLogPage page = log->page({});
  ASSERT_EQ(page.entries.size(), 4u);
  EXPECT_EQ(page.entries.back().ack_by, "alice");
  EXPECT_EQ(page.entries[2].ack_by, "bob");
}

TEST_F(AlarmLogFile, WithoutAcknowledgementAClearedAlarmLeavesTheList) {
  {
    auto log = open(true);
    mains(*log, true);
    mains(*log, false);
    ASSERT_EQ(slot.listed.snapshot().size(), 1u);
  }
  // The login is gone: nobody could acknowledge it.
  auto log = open(false);
  EXPECT_TRUE(slot.listed.snapshot().empty());
  slot.listed.set({});
  log = open(true);
  EXPECT_TRUE(slot.listed.snapshot().empty());
}

TEST_F(AlarmLogFile, PagesForwardFromARowOrATimeAndBackFromARow) {
  auto log = open(false);
  DeviceSlot other{device(8)};
  for (int i = 0; i < 5; ++i) {
    now += 60s;
    mains(*log, i % 2 == 0);
    log->communication(other, i % 2 == 0, "detail");
  }
  AlarmLogQuery q;
  q.limit = 3;
  AlarmLogPage page = log->page(q);
  ASSERT_EQ(page.entries.size(), 3u);
  EXPECT_TRUE(page.more);
  EXPECT_EQ(page.entries[0].seq, 10);
  q.before_seq = page.entries.back().seq;
  page = log->page(q);
  EXPECT_EQ(page.entries.front().seq, 7);
  q = {};
  q.since_seq = 8;
  page = log->page(q);
  ASSERT_EQ(page.entries.size(), 2u);
  EXPECT_EQ(page.entries[0].seq, 9);
  q = {};
  q.device = 8;
  q.since_ms =
      std::chrono::duration_cast<std::chrono::milliseconds>((now - 60s).time_since_epoch()).count();
  page = log->page(q);
  ASSERT_EQ(page.entries.size(), 2u);
  EXPECT_EQ(page.entries[0].device_number, 8u);
  EXPECT_EQ(page.entries[1].seq, 10);
}

TEST_F(AlarmLogFile, KeptWithinItsRowsAndDaysButListedAlarmsStay) {
  auto log = open(true, {100, 2});
  hot(*log, true, 50);
  for (int i = 0; i < 150; ++i) {
    mains(*log, true);
    mains(*log, false);
    log->acknowledge(slot, 0, "alice");
  }
  AlarmLogQuery all;
  all.limit = 1000;
  // Pruned at every hundredth row: within a hundred of the bound.
  EXPECT_LE(log->page(all).entries.size(), 200u);
  EXPECT_GE(log->page(all).entries.size(), 100u);
  now += 72h;
  log = open(true, {100, 2});
  const AlarmLogPage left = log->page(all);
  ASSERT_EQ(left.entries.size(), 1u);
  EXPECT_EQ(left.entries[0].fields.find("\"name\":\"temperature_1_value\""), 10u);
}

}  // namespace
