// Which replies answer the request outstanding: protocol id, unit id and
// transaction id, and the units that break one of them the same way every
// time.

#include "testkit/model_fixture.h"

namespace {

class Identity : public ModelTest {
 protected:
  // The reply the last request is owed, carrying the given ids instead.
  Bytes reply_as(std::uint16_t trans_id, std::uint8_t unit, std::uint16_t proto = 0) const {
    Bytes f = reply_to_last();
    f[0] = static_cast<unsigned char>(trans_id >> 8);
    f[1] = static_cast<unsigned char>(trans_id);
    f[2] = static_cast<unsigned char>(proto >> 8);
    f[3] = static_cast<unsigned char>(proto);
    f[6] = unit;
    return f;
  }
  std::uint16_t awaited() const { return field(last_sent(), 0); }
  // Feeds a frame; returns the lines it made.
  std::string lines_of(const Bytes& frame, int result) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(feed(frame), result);
    return testing::internal::GetCapturedStdout();
  }
  // Lets the reply time-out pass and polls: the pass starts again.
  void time_out() {
    ManualClock::advance_ms(3000);
    testing::internal::CaptureStdout();
    EXPECT_EQ(model->RefreshStatus(), 1);
    testing::internal::GetCapturedStdout();
  }
};

TEST_F(Identity, EachDeviceCountsItsIdsFromItsOwnNumber) {
  make("", 7);
  model->RefreshStatus();
  EXPECT_EQ(last_sent(), hex("53 81 00 00 00 06 01 03 00 00 00 14"));
  make("", 8);
  model->RefreshStatus();
  EXPECT_EQ(last_sent(), hex("f1 b8 00 00 00 06 01 03 00 00 00 14"));
  // 0 is never sent, neither first nor when the count wraps.
  make("", 0);
  for (int pass = 0; pass < 3; ++pass) {
    EXPECT_EQ(model->RefreshStatus(), 1);
    EXPECT_EQ(awaited(), 1 + pass);
    answer_last();
  }
}

// Another unit's reply, or another protocol's, is refused, whatever its
// transaction id: the pass still waits for its own.
TEST_F(Identity, ReplyFromAnotherUnitOrProtocolIsRefused) {
  make(R"({"ups": 1})");
  model->RefreshStatus();
  EXPECT_EQ(lines_of(reply_as(awaited(), 9, 7), 0),
            "QLTModel::process_payload Error:data_id:107 proto_id:7 expected_proto_id:0\n");
  EXPECT_EQ(lines_of(reply_as(awaited(), 2), 0),
            "QLTModel::process_payload Error:data_id:107 unit_id:2 expected_unit_id:1\n");
  EXPECT_EQ(model->image[4], 0);
  EXPECT_EQ(host.sent().size(), 1u);
  EXPECT_EQ(answer_last(), 1);
  EXPECT_EQ(model->cur_batch, 1);
}

// A unit that answers every request with transaction id 0: after three
// replies that fit the request in all else, one line says so and replies
// are taken in order; when it echoes again, ids are checked again.
TEST_F(Identity, UnitThatDoesNotEchoIdsIsReadInOrder) {
  make(R"({"ups": 1})");
  model->RefreshStatus();
  EXPECT_EQ(lines_of(reply_as(0, 1), 0),
            "QLTModel::process_payload Error:data_id:107 trans_id:0 expected_trans_id:21377\n");
  time_out();
  EXPECT_EQ(lines_of(reply_as(0, 1), 0),
            "QLTModel::process_payload Error:data_id:107 trans_id:0 expected_trans_id:21378\n");
  time_out();
  EXPECT_EQ(lines_of(reply_as(0, 1), 1),
            "QLTModel::process_payload data_id:107 trans_id:0 expected_trans_id:21379 the unit "
            "does not echo transaction ids; its replies are taken in order\n");
  for (int batch = 1; batch < 9; ++batch) EXPECT_EQ(lines_of(reply_as(0, 1), batch < 8), "");
  EXPECT_EQ(count(HostCall::send_sp), 1u);
  // In order still means for this unit: another unit's reply is refused.
  model->RefreshStatus();
  EXPECT_EQ(lines_of(reply_as(0, 2), 0),
            "QLTModel::process_payload Error:data_id:107 unit_id:2 expected_unit_id:1\n");

  EXPECT_EQ(lines_of(reply_to_last(), 1),
            "QLTModel::process_payload data_id:107 the unit echoes transaction ids again\n");
  EXPECT_EQ(lines_of(reply_as(0, 1), 0),
            "QLTModel::process_payload Error:data_id:107 trans_id:0 expected_trans_id:21389\n");
}

// Id 0 is never one the device sent, however close its count is to it.
TEST_F(Identity, UnitThatAnswersZeroIsReadJustAfterTheCountPassesZero) {
  make("", 0);
  model->RefreshStatus();
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(feed(reply_as(0, 1)), 0);
    time_out();
  }
  testing::internal::CaptureStdout();
  EXPECT_EQ(feed(reply_as(0, 1)), 0);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("does not echo"), std::string::npos);
  EXPECT_EQ(count(HostCall::send_sp), 1u);
}

// A late or repeated reply to an earlier request is refused, and a unit
// that sends them is no unit that does not echo ids: answers to earlier
// requests never count towards that.
TEST_F(Identity, LateRepeatsAreRefusedAndNeverPassForAUnitThatDoesNotEcho) {
  make(R"({"ups": 1})");
  model->RefreshStatus();
  const Bytes late = reply_to_last();
  for (int i = 0; i < 3; ++i) {
    time_out();
    EXPECT_EQ(lines_of(late, 0),
              "QLTModel::process_payload Error:data_id:107 trans_id:21377 "
              "expected_trans_id:" +
                  std::to_string(21378 + i) + "\n");
  }
  EXPECT_EQ(model->image[4], 0);
  while (answer_last() == 1) {
  }
  EXPECT_EQ(count(HostCall::send_sp), 1u);
}

// A unit that answers as unit 9 to requests for unit 1, echoing the ids:
// after three replies one line says so and its replies are taken, as long
// as they carry the id of the request outstanding.
TEST_F(Identity, UnitThatAnswersWithOneOtherUnitIdIsTaken) {
  make(R"({"ups": 1})");
  model->RefreshStatus();
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(lines_of(reply_as(awaited(), 9), 0),
              "QLTModel::process_payload Error:data_id:107 unit_id:9 expected_unit_id:1\n");
    time_out();
  }
  EXPECT_EQ(lines_of(reply_as(awaited(), 9), 1),
            "QLTModel::process_payload data_id:107 unit_id:9 expected_unit_id:1 the unit answers "
            "with another unit id; its replies are taken\n");
  const std::uint16_t other_device_id = static_cast<std::uint16_t>(awaited() + 3000);
  EXPECT_EQ(lines_of(reply_as(other_device_id, 9), 0),
            "QLTModel::process_payload Error:data_id:107 unit_id:9 expected_unit_id:1\n");
  EXPECT_EQ(lines_of(reply_as(awaited(), 10), 0),
            "QLTModel::process_payload Error:data_id:107 unit_id:10 expected_unit_id:1\n");
  for (int batch = 1; batch < 9; ++batch) EXPECT_EQ(feed(reply_as(awaited(), 9)), batch < 8);
  EXPECT_EQ(count(HostCall::send_sp), 1u);
}

}  // namespace
