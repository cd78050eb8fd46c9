// Replies as bytes: item word order, data and exception replies, and the
// cutting of a request stream into frames.

#include <gtest/gtest.h>

#include "apps/qlt-unit-sim/responder.h"
#include "testkit/frames.h"

namespace {

using namespace qltsim;

std::string item_hex(float v) {
  Octets out;
  put_item(out, v);
  return to_hex(out);
}

TEST(SimWire, ItemGoesLowWordFirstEachWordBigEndian) {
  EXPECT_EQ(item_hex(1.0f), "00 00 3f 80");
  EXPECT_EQ(item_hex(3.14f), "f5 c3 40 48");
  EXPECT_EQ(item_hex(-2.5f), "00 00 c0 20");
}

TEST(SimWire, ItemsReadBackAsWritten) {
  for (float v : {0.0f, 1.0f, -54.25f, 3.14f, 1e-30f}) {
    Octets out{0xAA};
    put_item(out, v);
    EXPECT_EQ(get_item(out, 1), v);
  }
  EXPECT_THROW(get_item(Octets{0, 0, 0}, 0), std::out_of_range);
  EXPECT_THROW(get_item(Octets{0, 0, 0, 0}, 1), std::out_of_range);
}

struct Exchange {
  const char* what;
  Bytes request;
  const char* reply;
};

// A bare unit: 20 items, temperature 1 (item 8) at 23.0, humidity 1 at 45.0.
TEST(SimWire, AnswersEachRequestWithTheExactBytes) {
  const ItemStore store(Composition{}, false);
  const Exchange cases[] = {
      {"two items", read_request(0x1234, 8, 2),
       "12 34 00 00 00 0b 01 03 08 00 00 41 b8 00 00 42 34"},
      {"the last item", read_request(5, 19, 1), "00 05 00 00 00 07 01 03 04 00 00 00 00"},
      {"past the last item", read_request(6, 19, 2), "00 06 00 00 00 03 01 83 02"},
      {"from beyond the end", read_request(7, 20, 1), "00 07 00 00 00 03 01 83 02"},
      {"quantity 0", read_request(8, 0, 0), "00 08 00 00 00 03 01 83 02"},
      {"quantity 64", read_request(9, 0, 64), "00 09 00 00 00 03 01 83 02"},
      {"function 4", read_request(10, 0, 1, 4), "00 0a 00 00 00 03 01 84 01"},
  };
  for (const Exchange& c : cases) {
    RequestParser parser;
    parser.feed(c.request.data(), c.request.size());
    const auto reply = respond(*parser.next(), 1, store, std::chrono::milliseconds(0));
    ASSERT_TRUE(reply) << c.what;
    EXPECT_EQ(to_hex(reply->encode()), c.reply) << c.what;
  }
}

TEST(SimWire, SixtyThreeItemsFillTheLargestReply) {
  Composition c;
  c.ups = 1;
  const ItemStore store(c, false);
  RequestParser parser;
  const Bytes req = read_request(1, 0, 63);
  parser.feed(req.data(), req.size());
  const Octets frame = respond(*parser.next(), 1, store, std::chrono::milliseconds(0))->encode();
  ASSERT_EQ(frame.size(), 9u + 252u);
  EXPECT_EQ(get_u16(frame, 4), 3 + 252);
  EXPECT_EQ(frame[8], 252);
  EXPECT_EQ(get_item(frame, 9 + 4 * 8), 23.0f);
}

TEST(SimWire, IgnoresFramesOfAnotherProtocol) {
  Bytes req = read_request(1, 0, 1);
  req[3] = 1;
  RequestParser parser;
  parser.feed(req.data(), req.size());
  EXPECT_FALSE(
      respond(*parser.next(), 1, ItemStore(Composition{}, false), std::chrono::milliseconds(0)));
}

TEST(SimRequestParser, ReassemblesAFrameFedByteByByte) {
  const Bytes req = read_request(0xBEEF, 3, 2);
  RequestParser parser;
  for (std::size_t i = 0; i + 1 < req.size(); ++i) {
    parser.feed(&req[i], 1);
    ASSERT_FALSE(parser.next()) << "complete after " << i + 1 << " bytes";
  }
  parser.feed(&req.back(), 1);
  const auto r = parser.next();
  ASSERT_TRUE(r);
  EXPECT_EQ(r->tid, 0xBEEF);
  EXPECT_EQ(to_hex(r->body), "00 03 00 02");
}

TEST(SimRequestParser, CutsSeveralFramesOfAnyLengthFromOneRead) {
  Bytes stream = read_request(1, 0, 1);
  const Bytes write16 = hex("00 02 00 00 00 09 01 10 00 00 00 01 02 ab cd");
  stream.insert(stream.end(), write16.begin(), write16.end());
  const Bytes third = read_request(3, 0, 1);
  stream.insert(stream.end(), third.begin(), third.begin() + 5);

  RequestParser parser;
  parser.feed(stream.data(), stream.size());
  EXPECT_EQ(parser.next()->tid, 1);
  const auto second = parser.next();
  EXPECT_EQ(second->func, 0x10);
  EXPECT_EQ(second->body.size(), 7u);
  EXPECT_FALSE(parser.next());
  parser.feed(third.data() + 5, third.size() - 5);
  EXPECT_EQ(parser.next()->tid, 3);
  EXPECT_FALSE(parser.lost());
}

TEST(SimRequestParser, GivesUpOnALengthNoFrameCanHave) {
  for (const char* header : {"00 01 00 00 00 01 01", "00 01 00 00 01 00 01"}) {
    RequestParser parser;
    const Bytes b = hex(header);
    parser.feed(b.data(), b.size());
    EXPECT_FALSE(parser.next());
    EXPECT_TRUE(parser.lost()) << header;
  }
}

}  // namespace
