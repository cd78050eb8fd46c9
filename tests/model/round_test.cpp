// Round completion: evaluation, analogue re-checks, publishing, and the
// hand-over of the round's rule results to the threshold worker.

#include <gtest/gtest.h>

#include "link/qlt_protocol.h"
#include "model/uni_buffer_device.h"
#include "testkit/recording_host.h"

namespace {

class BufferDevice : public UniBufferDevice<QLTProtocol, 5273> {
 public:
  int process_payload() override { return 0; }
  int process_error() override { return 0; }
  // Stands in for a point evaluation: one analogue and one alarm point.
  void RunCheckThreshold() override {
    ++evaluations;
    static const std::string name = "water_value", id = "QLT_0";
    CheckThreshold(name, name, *reinterpret_cast<const float*>(image.get() + 4), 1);
    CheckThresholdBool(1, id, id, id, id, true, 2);
  }
  int evaluations = 0;
};

std::shared_ptr<BufferDevice> make_device(HostServices* services = HostServices::none()) {
  auto d = std::make_shared<BufferDevice>();
  d->services = services;
  const unsigned char bytes[11] = {7, 0, 0, 0, 0, 0, 0x80, 0x3f};
  d->LoadFromCache(bytes, 11);
  return d;
}

std::vector<HostCall::Kind> kinds(const RecordingHost& h) {
  std::vector<HostCall::Kind> k;
  for (const HostCall& c : h.calls) k.push_back(c.kind);
  return k;
}

TEST(Round, CallsInOrderAndRecordsHandedOver) {
  RecordingHost host;
  auto d = make_device(&host.services);
  d->check_result = true;
  d->RoundDone();
  EXPECT_EQ(d->evaluations, 1);
  EXPECT_TRUE(d->data_ready);
  EXPECT_EQ(d->state_word, 1);
  EXPECT_FALSE(d->check_result);
  EXPECT_EQ(kinds(host),
            (std::vector<HostCall::Kind>{HostCall::check_threshold, HostCall::check_threshold_bool,
                                         HostCall::send_sp, HostCall::work, HostCall::batch_check,
                                         HostCall::save_history}));
  const HostCall& sp = host.calls[2];
  EXPECT_EQ(sp.image_id, 5273);
  EXPECT_EQ(sp.len, 11);
  EXPECT_FALSE(sp.changed_only);
  EXPECT_EQ(host.calls[4].records.size(), 2u);
  EXPECT_EQ(host.calls[4].records[1].name, "QLT_0");
  // History gets the image as published, from a copy of its own.
  EXPECT_NE(host.calls[5].data, d->image.get());
  EXPECT_EQ(host.calls[5].bytes, sp.bytes);
  EXPECT_TRUE(d->rule_batch.empty());
  EXPECT_GE(d->rule_batch.capacity(), 2u);
  EXPECT_FALSE(d->update_time.is_special());
}

TEST(Round, AnalogueValuesReCheckedInListOrder) {
  RecordingHost host;
  auto d = make_device(&host.services);
  d->ao_names = {"humid_1_value", "missing_value", "temperature_1_value"};
  d->ao_values = {{"humid_1_value", 45.5f}, {"temperature_1_value", 23.0f}};
  host.ao_report_results = {{"humid_1_value", true}, {"temperature_1_value", false}};
  d->RoundDone();
  const auto reports = host.calls_of(HostCall::ao_report);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].name, "humid_1_value");
  EXPECT_EQ(reports[1].name, "temperature_1_value");
  const auto checks = host.calls_of(HostCall::check_threshold);
  ASSERT_EQ(checks.size(), 3u);
  EXPECT_EQ(checks[1].name, "humid_1_value");
  EXPECT_EQ(checks[1].desc, "");
  EXPECT_EQ(checks[1].number, 1);
  EXPECT_EQ(checks[1].value_addr, &d->ao_values["humid_1_value"]);
  EXPECT_FLOAT_EQ(checks[2].value, 23.0f);
  EXPECT_EQ(d->ao_values.count("missing_value"), 0u);
  EXPECT_TRUE(d->check_result);

  host.ao_report_results["humid_1_value"] = false;
  d->RoundDone();
  EXPECT_FALSE(d->check_result);
  host.batch_result = true;
  d->RoundDone();
  EXPECT_TRUE(d->check_result);
}

// A host may copy a work item, run the copies in any order or never, and
// have a service throw: each item holds its own round, which runs once
// whichever copy runs first, and nothing stays behind once the copies go.
TEST(Round, WorkItemOwnsItsRoundWhateverTheHostDoesWithIt) {
  RecordingHost host;
  host.run_work_at_once = false;
  auto d = make_device(&host.services);
  std::weak_ptr<BufferDevice> watch = d;
  auto saved = [&] { return host.calls_of(HostCall::save_history); };

  d->RoundDone();
  std::function<void()> first = host.pending_work.at(0);
  host.run_pending_work();
  d->image[4] = 2;
  d->RoundDone();
  // A copy of the first round's item, run after its original and after the
  // next round began: that round is done, and the next one is not its own.
  first();
  ASSERT_EQ(saved().size(), 1u);
  std::function<void()> second = host.pending_work.at(0);
  second();
  host.run_pending_work();
  ASSERT_EQ(saved().size(), 2u);
  EXPECT_EQ(saved()[1].bytes.at(4), 2);
  EXPECT_EQ(saved()[1].bytes, host.calls_of(HostCall::send_sp)[1].bytes);
  EXPECT_EQ(host.calls_of(HostCall::batch_check).size(), 2u);

  // A service that throws lets the exception through and keeps nothing.
  host.batch_throws = true;
  d->RoundDone();
  std::function<void()> throwing = std::move(host.pending_work.at(0));
  host.pending_work.clear();
  EXPECT_THROW(throwing(), std::runtime_error);
  // An item still pending keeps the device; dropped unrun, it lets it go.
  d->RoundDone();
  d.reset();
  first = second = throwing = nullptr;
  EXPECT_FALSE(watch.expired());
  host.pending_work.clear();
  EXPECT_TRUE(watch.expired());
}

TEST(Round, EmptyBatchStillMakesOneWorkItem) {
  RecordingHost host;
  host.keep_rule_results = false;
  auto d = make_device(&host.services);
  d->RoundDone();
  const auto checks = host.calls_of(HostCall::batch_check);
  ASSERT_EQ(checks.size(), 1u);
  EXPECT_TRUE(checks[0].records.empty());
}

TEST(Round, DeviceNotOwnedBySharedPointerKeepsItsBatch) {
  RecordingHost host;
  BufferDevice d;
  d.services = &host.services;
  const unsigned char bytes[11] = {};
  d.LoadFromCache(bytes, 11);
  EXPECT_THROW(d.RoundDone(), std::bad_weak_ptr);
  EXPECT_EQ(host.calls_of(HostCall::send_sp).size(), 1u);
  EXPECT_EQ(host.calls_of(HostCall::work).size(), 0u);
  EXPECT_EQ(d.rule_batch.size(), 2u);
}

}  // namespace
