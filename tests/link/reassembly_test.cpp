// The receive path: reassembly of frames from chunks however the stream is
// cut, dispatch by function code, and the limits of the receive buffer.

#include <gtest/gtest.h>

#include "testkit/frames.h"
#include "tests/link/probe_protocol.h"

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
  EXPECT_EQ(p.feed(chunk), 7);
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

  // An exception reply goes the same way; a code without the high bit that
  // is not a data reply is dropped.
  EXPECT_EQ(p.feed(hex("00 00 00 00 00 03 01 83 02")), 5);
  EXPECT_EQ(p.feed(hex("00 00 00 00 00 03 01 04 02")), 1);
  EXPECT_EQ(p.recv_len, 0);

  EXPECT_EQ(p.feed(hex("00 00 00 00 00 05 01 10 02 ab cd")), 7);
  ASSERT_EQ(p.handled.size(), 3u);
  EXPECT_FALSE(p.handled[0].payload);
  EXPECT_EQ(p.handled[0].frame, error);
  EXPECT_FALSE(p.handled[1].payload);
  EXPECT_EQ(p.handled[1].frame, hex("00 00 00 00 00 03 01 83 02"));
  EXPECT_TRUE(p.handled[2].payload);
  EXPECT_EQ(p.handled[2].frame, hex("00 00 00 00 00 05 01 10 02 cd ab"));
}

// n replies of 206 bytes each, back to back, with transaction ids 0, 1, ...
Bytes burst(int n) {
  Bytes out;
  for (int i = 0; i < n; ++i) {
    const Bytes r = data_reply(static_cast<std::uint16_t>(i),
                               counting_bytes(197, static_cast<unsigned char>(i)));
    out.insert(out.end(), r.begin(), r.end());
  }
  return out;
}

TEST(BufferLimits, ChunksLargerThanTheBufferAreTakenInPieces) {
  // 20 frames in 4,120 bytes, and a 64 KiB read cut inside a frame.
  for (const size_t size : {size_t{4120}, size_t{65536}}) {
    const Bytes all = burst(320);
    const Bytes chunk(all.begin(), all.begin() + static_cast<long>(size));
    ProbeProtocol p;
    EXPECT_EQ(p.feed(chunk), 7) << size;
    const size_t whole = size / 206;
    ASSERT_EQ(p.handled.size(), whole) << size;
    for (size_t i = 0; i < whole; ++i) {
      const Bytes want(all.begin() + static_cast<long>(206 * i),
                       all.begin() + static_cast<long>(206 * (i + 1)));
      ASSERT_EQ(p.handled[i].frame, converted(want)) << size << " frame " << i;
    }
    EXPECT_EQ(p.recv_len, static_cast<int>(size % 206)) << size;
  }
}

TEST(BufferLimits, LargestFrameCompletesInsideABiggerChunk) {
  // A header declaring the largest frame that fits: 4089 + 6 bytes.
  Bytes big = hex("00 00 00 00 0f f9 01 03");
  big.resize(4095, 0xee);
  ProbeProtocol p;
  EXPECT_EQ(p.feed(Bytes(big.begin(), big.begin() + 4000)), 1);
  Bytes rest(big.begin() + 4000, big.end());
  const Bytes next = data_reply(1, hex("55 66 77 88"));
  rest.insert(rest.end(), next.begin(), next.end());
  EXPECT_EQ(p.feed(rest), 7);
  ASSERT_EQ(p.handled.size(), 2u);
  EXPECT_EQ(p.handled[0].frame.size(), 4095u);
  EXPECT_EQ(p.handled[1].frame, hex("00 01 00 00 00 07 01 03 04 66 55 88 77"));
  EXPECT_EQ(p.recv_len, 0);
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

TEST(BufferLimits, LengthThatCanNeverCompleteDropsTheStream) {
  struct Case {
    const char* header;
    const char* line;
  } cases[] = {
      {"00 00 00 00 00 01 01 03", "length:1 dropped:19"},
      {"00 00 00 00 00 00 01 03", "length:0 dropped:19"},
      {"00 00 00 00 0f fa 01 03", "length:4090 dropped:19"},
      {"00 00 00 00 ff ff 01 03", "length:65535 dropped:19"},
  };
  for (const Case& c : cases) {
    ProbeProtocol p;
    p.data_id = 107;
    // The rest of the chunk goes with the bytes that lost their framing.
    Bytes chunk = hex(c.header);
    const Bytes lost = data_reply(0, hex("01 02"));
    chunk.insert(chunk.end(), lost.begin(), lost.end());
    testing::internal::CaptureStdout();
    EXPECT_EQ(p.feed(chunk), 0) << c.header;
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              std::string("QLTProtocol::process_data lost framing: data_id:107 ") + c.line + "\n");
    EXPECT_EQ(p.recv_len, 0) << c.header;
    EXPECT_TRUE(p.handled.empty()) << c.header;
    // The stream is taken up again by the next frame.
    EXPECT_EQ(p.feed(data_reply(0, hex("01 02"))), 7) << c.header;
    EXPECT_EQ(p.handled.size(), 1u) << c.header;
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
