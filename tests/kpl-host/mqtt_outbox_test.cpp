// The broker's outbox on its own: rows in the order written, each kept until
// removed, the oldest dropped past the limit.

#include "apps/kpl-host/storage/mqtt_outbox.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "testkit/temp_path.h"

namespace {

using kplhost::MqttOutbox;
using kplhost::OutboxRow;

class Outbox : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path + suffix).c_str());
  }
  static std::vector<long long> seqs(const std::vector<OutboxRow>& rows) {
    std::vector<long long> out;
    for (const OutboxRow& r : rows) out.push_back(r.seq);
    return out;
  }
  std::string path = unique_temp_path(".db");
};

TEST_F(Outbox, RowsInOrderUntilRemovedAndAcrossReopening) {
  {
    MqttOutbox outbox(path, 10);
    EXPECT_EQ(outbox.next_seq(), 1);
    for (const char* payload : {"a", "b", "c"}) EXPECT_EQ(outbox.append("kpl/t", payload), 0);
    const auto first = outbox.after(0, 2);
    EXPECT_EQ(seqs(first), (std::vector<long long>{1, 2}));
    EXPECT_EQ(first[1].topic, "kpl/t");
    EXPECT_EQ(first[1].payload, "b");
    EXPECT_EQ(seqs(outbox.after(2, 10)), (std::vector<long long>{3}));
    outbox.remove(2);
    outbox.remove(2);
    EXPECT_EQ(outbox.size(), 2);
  }
  MqttOutbox outbox(path, 10);
  EXPECT_EQ(outbox.size(), 2);
  EXPECT_EQ(seqs(outbox.after(0, 10)), (std::vector<long long>{1, 3}));
  EXPECT_EQ(outbox.next_seq(), 4);
}

TEST_F(Outbox, PastTheLimitTheOldestAreDropped) {
  MqttOutbox outbox(path, 2);
  EXPECT_EQ(outbox.append("t", "1"), 0);
  EXPECT_EQ(outbox.append("t", "2"), 0);
  EXPECT_EQ(outbox.append("t", "3"), 1);
  EXPECT_EQ(outbox.size(), 2);
  EXPECT_EQ(seqs(outbox.after(0, 10)), (std::vector<long long>{2, 3}));
}

}  // namespace
