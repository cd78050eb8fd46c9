// Neither the reply path nor a steady-state round allocates: the round's
// work item, its records and its copy of the image reuse those of the round
// before once the host has run it.

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>

#include "host/host_services.h"
#include "model/qlt_model.h"
#include "testkit/counting_new.h"
#include "testkit/frames.h"

namespace {

// A host that keeps one record per point, without text, so that whatever is
// allocated during a round is the plug-in's own doing.
class BareRules final : public ThresholdRules {
 public:
  int CheckThreshold(KPLVDevice& dev, const std::string&, const std::string&, const float&,
                     int) override {
    dev.rule_batch.emplace_back();
    return 1;
  }
  int CheckThresholdBool(KPLVDevice& dev, int, const std::string&, const std::string&,
                         const std::string&, const std::string&, bool, unsigned short) override {
    dev.rule_batch.emplace_back();
    return 1;
  }
  bool CheckAOReport(KPLVDevice&, const std::string&, float) override { return false; }
  bool DoBatchCheckThreshold(KPLVDevice&, const std::vector<rule_value>& records) override {
    last_batch = records.size();
    return false;
  }
  size_t last_batch = 0;
};

class Allocation : public ::testing::Test {
 protected:
  void SetUp() override {
    services = *HostServices::none();
    services.rules = &rules;
    model = std::make_shared<QLTModel>();
    model->services = &services;
    Json::Value config;
    config["appSetting"]["ups"] = 1;
    config["appSetting"]["ac"] = 1;
    model->Init({}, 7, config);
    model->link_ready = 1;
    for (const rdu_read& r : model->requests)
      replies.push_back(data_reply(ntohs(r.trans_id), Bytes(4 * ntohs(r.quantity), 0)));
  }

  // Runs one pass; returns the allocations made by the replies before the
  // last one and by the last one (which completes the round).
  std::pair<long, long> pass() {
    model->RefreshStatus();
    const long start = heap_allocations();
    for (size_t i = 0; i + 1 < replies.size(); ++i) answer(i);
    const long before_last = heap_allocations();
    answer(replies.size() - 1);
    return {before_last - start, heap_allocations() - before_last};
  }
  // Answers batch i with the transaction id its request went out with.
  void answer(size_t i) {
    Bytes& frame = replies[i];
    std::memcpy(frame.data(), &model->requests[i].trans_id, 2);
    model->process(0, frame.data(), static_cast<int>(frame.size()));
  }

  BareRules rules;
  HostServices services;
  std::shared_ptr<QLTModel> model;
  std::vector<Bytes> replies;
};

TEST_F(Allocation, RepliesAndSteadyRoundsAllocateNothing) {
  pass();
  pass();
  for (int round = 0; round < 3; ++round) {
    const auto [replies_alloc, round_alloc] = pass();
    EXPECT_EQ(replies_alloc, 0) << round;
    EXPECT_EQ(round_alloc, 0) << round;
    EXPECT_EQ(rules.last_batch, 13u + 115 + 40);
  }
}

TEST_F(Allocation, PointEvaluationBuildsNoStringsOnceItsBlocksAreNamed) {
  pass();
  ASSERT_GE(model->rule_batch.capacity(), 168u);
  const long start = heap_allocations();
  model->RunCheckThreshold();
  EXPECT_EQ(heap_allocations() - start, 0);
  EXPECT_EQ(model->rule_batch.size(), 168u);
}

}  // namespace
