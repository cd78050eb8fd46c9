// The receive path: reassembly of frames from chunks however the stream is
// cut, dispatch by function code, and the limits of the receive buffer.

#include <gtest/gtest.h>

#include "tests/link/probe_protocol.h"
#include "tests/support/frames.h"

namespace {

// The 209-byte reply to a 50-item request: 200 data bytes 00 01 02 ...
Bytes full_reply() { return data_reply(0, counting_bytes(200)); }

// The same reply as process_payload must see it: every data word swapped.
Bytes converted(Bytes frame) {
  for (size_t i = 9; i + 1 < frame.size(); i += 2) std::swap(frame[i], frame[i + 1]);
  return frame;
}

TEST(Reassembly, WholeReplyIsDispatchedOnceConverted) {
  ProbeProtocol p;
  EXPECT_EQ(p.feed(full_reply()), 7);
  ASSERT_EQ(p.handled.size(), 1u);
  EXPECT_TRUE(p.handled[0].payload);
  EXPECT_EQ(p.handled[0].frame, converted(full_reply()));
  EXPECT_EQ(p.recv_len, 0);
}

TEST(Reassembly, ReplySplitAtEveryOffsetIsDispatchedOnce) {
  const Bytes r = full_reply();
  for (size_t cut = 1; cut < r.size(); ++cut) {
    ProbeProtocol p;
    EXPECT_EQ(p.feed(Bytes(r.begin(), r.begin() + cut)), 1) << cut;
    EXPECT_TRUE(p.handled.empty()) << cut;
    EXPECT_EQ(p.feed(Bytes(r.begin() + cut, r.end())), 7) << cut;
    ASSERT_EQ(p.handled.size(), 1u) << cut;
    EXPECT_EQ(p.handled[0].frame, converted(r)) << cut;
  }
}

TEST(Reassembly, ReplyFedOneByteAtATime) {
  ProbeProtocol p;
  const Bytes r = full_reply();
  for (size_t i = 0; i + 1 < r.size(); ++i) ASSERT_EQ(p.feed(Bytes{r[i]}), 1) << i;
  EXPECT_EQ(p.feed(Bytes{r.back()}), 7);
  ASSERT_EQ(p.handled.size(), 1u);
  EXPECT_EQ(p.handled[0].frame, converted(r));
}

TEST(Reassembly, ChunksOf5And100And104) {
  ProbeProtocol p;
  const Bytes r = full_reply();
  EXPECT_EQ(p.feed(Bytes(r.begin(), r.begin() + 5)), 1);
  EXPECT_EQ(p.feed(Bytes(r.begin() + 5, r.begin() + 105)), 1);
  EXPECT_TRUE(p.handled.empty());
  EXPECT_EQ(p.feed(Bytes(r.begin() + 105, r.end())), 7);
  EXPECT_EQ(p.handled.size(), 1u);
}

TEST(Reassembly, SevenBytesWaitThenAnEightByteFrameCompletes) {
  ProbeProtocol p;
  EXPECT_EQ(p.feed(hex("00 00 00 00 00 02 01")), 1);
  EXPECT_TRUE(p.handled.empty());
  EXPECT_EQ(p.feed(hex("90")), 0);
  ASSERT_EQ(p.handled.size(), 1u);
  EXPECT_FALSE(p.handled[0].payload);
}

TEST(Reassembly, TwoRepliesInOneChunkAreBothDispatchedInOrder) {
  ProbeProtocol p;
  Bytes two = data_reply(1, hex("11 22 33 44"));
  const Bytes second = data_reply(2, hex("55 66 77 88"));
  two.insert(two.end(), second.begin(), second.end());
  EXPECT_EQ(p.feed(two), 7);
  ASSERT_EQ(p.handled.size(), 2u);
  EXPECT_EQ(p.handled[0].frame, hex("00 01 00 00 00 07 01 03 04 22 11 44 33"));
  EXPECT_EQ(p.handled[1].frame, hex("00 02 00 00 00 07 01 03 04 66 55 88 77"));
  EXPECT_EQ(p.recv_len, 0);
}

TEST(Reassembly, BytesTrailingAFrameStartTheNextOne) {
  ProbeProtocol p;
  const Bytes first = data_reply(1, hex("11 22 33 44"));
  const Bytes second = data_reply(2, hex("55 66 77 88"));
  Bytes chunk = first;
  chunk.insert(chunk.end(), second.begin(), second.begin() + 3);
  EXPECT_EQ(p.feed(chunk), 7);
  EXPECT_EQ(p.handled.size(), 1u);
  EXPECT_EQ(p.recv_len, 3);
  EXPECT_EQ(p.feed(Bytes(second.begin() + 3, second.end())), 7);
  ASSERT_EQ(p.handled.size(), 2u);
  EXPECT_EQ(p.handled[1].frame, hex("00 02 00 00 00 07 01 03 04 66 55 88 77"));
}

TEST(Reassembly, ByteCountBeyondItsFrameLeavesTheNextFrameUnconverted) {
  ProbeProtocol p;
  // Claims 8 data bytes, carries 4; the next frame follows at once.
  Bytes chunk = hex("00 00 00 00 00 07 01 03 08 11 22 33 44");
  const Bytes next = data_reply(1, hex("55 66 77 88"));
  chunk.insert(chunk.end(), next.begin(), next.end());
  p.feed(chunk);
  ASSERT_EQ(p.handled.size(), 2u);
  EXPECT_EQ(p.handled[0].frame, hex("00 00 00 00 00 07 01 03 08 11 22 33 44"));
  EXPECT_EQ(p.handled[1].frame, hex("00 01 00 00 00 07 01 03 04 66 55 88 77"));
}

TEST(Dispatch, FunctionCodesChooseTheHandler) {
  ProbeProtocol p;
  p.error_result = 5;
  const Bytes error = hex("00 00 00 00 00 03 01 90 02");
  auto* before = p.cur_reply = reinterpret_cast<rdu_read_reply*>(0x1234);
  EXPECT_EQ(p.feed(error), 5);
  EXPECT_EQ(p.cur_reply, before);

  EXPECT_EQ(p.feed(hex("00 00 00 00 00 03 01 83 02")), 1);
  EXPECT_EQ(p.recv_len, 0);

  EXPECT_EQ(p.feed(hex("00 00 00 00 00 05 01 10 02 ab cd")), 7);
  ASSERT_EQ(p.handled.size(), 2u);
  EXPECT_FALSE(p.handled[0].payload);
  EXPECT_EQ(p.handled[0].frame, error);
  EXPECT_TRUE(p.handled[1].payload);
  EXPECT_EQ(p.handled[1].frame, hex("00 00 00 00 00 05 01 10 02 cd ab"));
}

TEST(BufferLimits, ChunkOf4096IsRefusedAndOf4095Kept) {
  ProbeProtocol p;
  EXPECT_EQ(p.feed(Bytes(4096, 0)), 0);
  EXPECT_EQ(p.recv_len, 0);
  // A header declaring the largest frame that fits: 4089 + 6 bytes.
  Bytes big = hex("00 00 00 00 0f f9 01 03");
  big.resize(4095, 0xee);
  EXPECT_EQ(p.feed(Bytes(big.begin(), big.end() - 1)), 1);
  EXPECT_EQ(p.recv_len, 4094);
  EXPECT_EQ(p.feed(Bytes{big.back()}), 7);
  EXPECT_EQ(p.handled.size(), 1u);
}

TEST(BufferLimits, TotalReaching4096DropsEverythingHeld) {
  Bytes big = hex("00 00 00 00 0f f9 01 03");
  big.resize(4000, 0xee);
  ProbeProtocol p;
  EXPECT_EQ(p.feed(big), 1);
  EXPECT_EQ(p.feed(Bytes(96, 0)), 0);
  EXPECT_EQ(p.recv_len, 0);

  ProbeProtocol q;
  EXPECT_EQ(q.feed(big), 1);
  EXPECT_EQ(q.feed(Bytes(95, 0)), 7);
  EXPECT_EQ(q.handled.size(), 1u);
}

TEST(BufferLimits, NegativeOrEmptyChunksStoreNothing) {
  ProbeProtocol p;
  EXPECT_EQ(p.feed(hex("00 00 00")), 1);
  unsigned char byte = 0;
  EXPECT_EQ(p.process_data(0, &byte, -1), 0);
  EXPECT_EQ(p.process_data(0, &byte, -2147483647 - 1), 0);
  EXPECT_EQ(p.recv_len, 3);
  EXPECT_EQ(p.process_data(0, nullptr, 0), 1);
  EXPECT_EQ(p.recv_len, 3);
  EXPECT_EQ(p.process_data(0, nullptr, 5), 0);
  EXPECT_EQ(p.recv_len, 3);
}

TEST(BufferLimits, HugeChunkDoesNotOverflowTheCount) {
  ProbeProtocol p;
  EXPECT_EQ(p.feed(hex("00 00")), 1);
  unsigned char byte = 0;
  EXPECT_EQ(p.process_data(0, &byte, 2147483647), 0);
  EXPECT_EQ(p.recv_len, 0);
}

TEST(BufferLimits, LengthThatCanNeverCompleteDropsTheStream) {
  for (const char* header : {"00 00 00 00 00 01 01 03", "00 00 00 00 00 00 01 03",
                             "00 00 00 00 0f fa 01 03", "00 00 00 00 ff ff 01 03"}) {
    ProbeProtocol p;
    EXPECT_EQ(p.feed(hex(header)), 0) << header;
    EXPECT_EQ(p.recv_len, 0) << header;
    // The stream is taken up again by the next frame.
    EXPECT_EQ(p.feed(data_reply(0, hex("01 02"))), 7) << header;
    EXPECT_EQ(p.handled.size(), 1u) << header;
  }
}

TEST(BufferLimits, HostCountOutsideTheBufferIsReset) {
  ProbeProtocol p;
  p.recv_len = 5000;
  EXPECT_EQ(p.feed(data_reply(0, hex("01 02"))), 7);
  p.recv_len = -3;
  EXPECT_EQ(p.feed(data_reply(0, hex("01 02"))), 7);
  EXPECT_EQ(p.handled.size(), 2u);
}

}  // namespace
