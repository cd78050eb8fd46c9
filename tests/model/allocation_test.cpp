// The reply path allocates nothing, and a steady-state round makes two
// allocations: the work item's shared state and the std::function that holds
// it. Its records and its copy of the image reuse those of an earlier round
// whose item the host has let go.

#include <gtest/gtest.h>

#include "testkit/counting_new.h"
#include "testkit/keeping_rules.h"
#include "testkit/model_rig.h"

namespace {

Json::Value one_ups_one_ac() {
  Json::Value config;
  config["appSetting"]["ups"] = 1;
  config["appSetting"]["ac"] = 1;
  return config;
}

class Allocation : public ::testing::Test {
 protected:
  // Runs one pass; returns the allocations made by the replies before the
  // last one and by the last one (which completes the round).
  std::pair<long, long> pass() {
    model->RefreshStatus();
    const AllocationCount replies;
    for (int b = 0; b + 1 < rig.batches(); ++b) rig.feed(b);
    const AllocationCount last;
    rig.feed(rig.batches() - 1);
    return {replies.made() - last.made(), last.made()};
  }

  KeepingRules rules;
  HostServices services = rules.services();
  ModelRig rig{one_ups_one_ac(), &services, 7, Bytes(4, 0)};
  QLTModel* model = &rig.model();
};

TEST_F(Allocation, RepliesAllocateNothingAndASteadyRoundTwice) {
  pass();
  pass();
  for (int round = 0; round < 3; ++round) {
    const auto [replies_alloc, round_alloc] = pass();
    EXPECT_EQ(replies_alloc, 0) << round;
    EXPECT_LE(round_alloc, 2) << round;
    RecordProperty("round_allocations", static_cast<int>(round_alloc));
    EXPECT_EQ(rules.last_batch, 13u + 115 + 40);
  }
}

TEST_F(Allocation, PointEvaluationBuildsNoStringsOnceItsBlocksAreNamed) {
  pass();
  ASSERT_GE(model->rule_batch.capacity(), 168u);
  const AllocationCount made;
  model->RunCheckThreshold();
  EXPECT_EQ(made.made(), 0);
  EXPECT_EQ(model->rule_batch.size(), 168u);
}

}  // namespace
