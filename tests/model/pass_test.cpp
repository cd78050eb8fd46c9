// The polling pass: requests in order, replies copied into their places,
// refused replies, overdue replies, and the round at the end.

#include "testkit/model_fixture.h"

namespace {

using Pass = ModelTest;

// The fixture's device 7 counts its transaction ids from 7 · 0x9e37, modulo
// 2^16.
constexpr std::uint16_t first_id = 0x5381;

TEST_F(Pass, OneBatchPassFillsStampsAndCompletesTheRound) {
  make("");
  EXPECT_EQ(model->RefreshStatus(), 1);
  EXPECT_EQ(host.sent(), std::vector<Bytes>{hex("53 81 00 00 00 06 01 03 00 00 00 14")});
  EXPECT_EQ(answer_last(), 0);
  const Bytes img = image();
  for (int k = 0; k < 20; ++k)
    EXPECT_EQ(Bytes(img.begin() + 4 + 4 * k, img.begin() + 8 + 4 * k), image_item(k)) << k;
  // update_date from the wall clock, 2039-06-15 12:34:56 in UTC.
  EXPECT_EQ(Bytes(img.begin() + 84, img.end()), hex("f7 07 06 0f 0c 22 38"));
  EXPECT_EQ(count(HostCall::send_sp), 1u);
  EXPECT_EQ(model->cur_batch, 0);
  EXPECT_TRUE(model->data_ready);
}

TEST_F(Pass, NineBatchesInWireOrderThenOneRound) {
  make(R"({"ups": 1})");
  EXPECT_EQ(run_pass(), 9);
  const std::vector<Bytes> sent = host.sent();
  ASSERT_EQ(sent.size(), 9u);
  for (int i = 0; i < 9; ++i) {
    // Every request has a transaction id of its own.
    EXPECT_EQ(field(sent[i], 0), first_id + i);
    EXPECT_EQ(field(sent[i], 8), 50 * i);
  }
  const Bytes img = image();
  for (int k = 0; k < 411; ++k)
    ASSERT_EQ(Bytes(img.begin() + 4 + 4 * k, img.begin() + 8 + 4 * k), image_item(k)) << k;

  const auto published = host.calls_of(HostCall::send_sp);
  ASSERT_EQ(published.size(), 1u);
  EXPECT_EQ(published[0].image_id, 5273);
  EXPECT_EQ(published[0].data, model->image.get());
  EXPECT_EQ(published[0].len, 1655);
  EXPECT_FALSE(published[0].changed_only);
  EXPECT_EQ(published[0].bytes, img);
  EXPECT_EQ(count(HostCall::work), 1u);

  // The next pass starts from the first item again; the ids run on.
  host.calls.clear();
  EXPECT_EQ(run_pass(), 9);
  EXPECT_EQ(count(HostCall::send_sp), 1u);
  EXPECT_EQ(to_hex(host.sent()[0]), "53 8a 00 00 00 06 01 03 00 00 00 32");
}

TEST_F(Pass, ReplyFedOneByteAtATimeCompletesThePass) {
  make(R"({"ac": 1})");
  ASSERT_EQ(model->RefreshStatus(), 1);
  for (int batch = 0; batch < model->batch_count; ++batch) {
    const Bytes frame = reply_to_last();
    for (size_t i = 0; i + 1 < frame.size(); ++i) ASSERT_EQ(feed(Bytes{frame[i]}), 1);
    EXPECT_EQ(feed(Bytes{frame.back()}), batch + 1 < model->batch_count ? 1 : 0);
  }
  EXPECT_EQ(count(HostCall::send_sp), 1u);
  EXPECT_EQ(Bytes(model->image.get() + 4 + 4 * 145, model->image.get() + 8 + 4 * 145),
            image_item(145));
}

TEST_F(Pass, NoLinkNoRequest) {
  make("");
  model->link_ready = 0;
  model->cursor = nullptr;
  EXPECT_EQ(model->RefreshStatus(), 0);
  EXPECT_TRUE(host.sent().empty());
  EXPECT_EQ(model->cursor, nullptr);
}

// A unit behind a serial gateway answers one request after another: a
// repeated request would queue behind the first and delay every reply.
TEST_F(Pass, OneRequestOutstandingNeverRepeated) {
  make(R"({"ups": 1})");
  EXPECT_EQ(model->RefreshStatus(), 1);
  ManualClock::advance_ms(2999);
  EXPECT_EQ(model->RefreshStatus(), 0);
  EXPECT_EQ(host.sent().size(), 1u);
  EXPECT_EQ(answer_last(), 1);
  EXPECT_EQ(answer_last(), 1);
  EXPECT_EQ(model->RefreshStatus(), 0);
  EXPECT_EQ(host.sent().size(), 3u);
}

TEST_F(Pass, WrongSizeReplyIsRefusedAndChangesNothing) {
  make(R"({"ups": 1})");
  model->RefreshStatus();
  const unsigned char* cursor = model->cursor;
  const Bytes before = image();
  testing::internal::CaptureStdout();
  EXPECT_EQ(feed(data_reply(first_id, Bytes(100, 0x11))), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "QLTModel::process_payload Error:data_id:107 data_len:100 expected:200\n");
  EXPECT_EQ(model->cur_batch, 0);
  EXPECT_EQ(model->cursor, cursor);
  EXPECT_EQ(image(), before);
  EXPECT_EQ(host.sent().size(), 1u);
  // It was the answer to the request outstanding: no other will come, so
  // the next poll starts the pass again at once.
  EXPECT_EQ(run_pass(), 9);
}

TEST_F(Pass, ErrorAndExceptionRepliesToTheRequestOutstandingEndThePass) {
  struct Case {
    const char* reply;  // answering batch 1, the second id of the count
    const char* line;
  } cases[] = {
      {"53 82 00 00 00 03 01 90 04", "QLTModel::process_error code:144\n"},
      {"53 82 00 00 00 03 01 83 02",
       "QLTModel::process_error exception: data_id:107 function:3 code:2\n"},
      {"53 82 00 00 00 02 01 83",
       "QLTModel::process_error exception: data_id:107 function:3 code:-1\n"},
  };
  for (const Case& c : cases) {
    make(R"({"ups": 1})");
    model->RefreshStatus();
    answer_last();
    // One from an earlier request is reported and changes nothing.
    Bytes stale = hex(c.reply);
    stale[1] = 0x81;
    testing::internal::CaptureStdout();
    EXPECT_EQ(feed(stale), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.line);
    EXPECT_EQ(model->cur_batch, 1);
    EXPECT_EQ(model->RefreshStatus(), 0);

    testing::internal::CaptureStdout();
    EXPECT_EQ(feed(hex(c.reply)), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.line);
    EXPECT_EQ(model->cur_batch, 0);
    // The next poll starts afresh without waiting out the time-out.
    EXPECT_EQ(run_pass(), 9);
    EXPECT_EQ(count(HostCall::send_sp), 1u);
  }
}

TEST_F(Pass, FunctionSixteenReplyIsTakenLikeFunctionThree) {
  make("");
  model->RefreshStatus();
  Bytes body = {80};
  for (int k = 0; k < 20; ++k) {
    const Bytes w = item_wire_bytes(k);
    body.insert(body.end(), w.begin(), w.end());
  }
  EXPECT_EQ(feed(reply_frame(first_id, 16, body)), 0);
  EXPECT_EQ(count(HostCall::send_sp), 1u);
  EXPECT_EQ(Bytes(model->image.get() + 4, model->image.get() + 8), image_item(0));
}

TEST_F(Pass, ReplyWithNoRequestOutstandingIsRefused) {
  make("");
  run_pass();
  const Bytes before = image();
  testing::internal::CaptureStdout();
  EXPECT_EQ(feed(data_reply(first_id, Bytes(80, 0x77))), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "QLTModel::process_payload Error:data_id:107 trans_id:21377 no request outstanding\n");
  EXPECT_EQ(image(), before);
  EXPECT_EQ(count(HostCall::send_sp), 1u);
}

TEST_F(Pass, ReplyShorterThanItsByteCountIsRefused) {
  make(R"({"ups": 1})");
  model->RefreshStatus();
  // Declares 200 data bytes; the frame ends after 100 of them.
  Bytes lying = data_reply(first_id, Bytes(100, 0x55));
  lying[8] = 200;
  testing::internal::CaptureStdout();
  EXPECT_EQ(feed(lying), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "QLTModel::process_payload Error:data_id:107 data_len:200 carried:100\n");
  EXPECT_EQ(model->cur_batch, 0);
  EXPECT_EQ(model->image[4], 0);
  // A frame that ends where its byte count would be: nothing past it is read.
  model->RefreshStatus();
  const Bytes bare = hex("53 82 00 00 00 02 01 03");
  testing::internal::CaptureStdout();
  EXPECT_EQ(feed(bare), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "QLTModel::process_payload Error:data_id:107 data_len:-1 carried:-1\n");
  EXPECT_EQ(model->image[4], 0);
}

// The rest of a reply cut by the time-out still comes, in the same stream:
// it must end the frame it belongs to, never be read as a frame of its own,
// even when its bytes would declare a long one. Only the pass it was in is
// lost.
TEST_F(Pass, RestOfAReplyCutByTheTimeOutNeverSwallowsTheNextReply) {
  make(R"({"ups": 1})");
  model->RefreshStatus();
  answer_last();
  ManualClock::advance_ms(2500);
  answer_last();
  ASSERT_EQ(model->cur_batch, 2);
  // Batch 2's reply; its data, read as a header, declare 3861 bytes.
  const Bytes cut = data_reply(first_id + 2, Bytes(200, 0x0f));
  EXPECT_EQ(feed(Bytes(cut.begin(), cut.begin() + 100)), 1);
  // The time-out runs from when the awaited request went out.
  ManualClock::advance_ms(2999);
  EXPECT_EQ(model->RefreshStatus(), 0);
  ManualClock::advance_ms(1);
  testing::internal::CaptureStdout();
  EXPECT_EQ(model->RefreshStatus(), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "QLTModel::RefreshStatus reply timeout: data_id:107 batch:2\n");
  EXPECT_EQ(last_sent(), hex("53 84 00 00 00 06 01 03 00 00 00 32"));

  // The rest, and the answer to the new pass's first request, in one read.
  Bytes rest(cut.begin() + 100, cut.end());
  const Bytes next = reply_to_last();
  rest.insert(rest.end(), next.begin(), next.end());
  testing::internal::CaptureStdout();
  EXPECT_EQ(feed(rest), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "QLTProtocol::process_data dropped a frame given up on: data_id:107 trans_id:21379\n");
  EXPECT_EQ(model->recv_len, 0);
  EXPECT_EQ(last_sent(), hex("53 85 00 00 00 06 01 03 00 32 00 32"));
  for (int batch = 1; batch < 9; ++batch) EXPECT_EQ(answer_last(), batch < 8 ? 1 : 0) << batch;
  EXPECT_EQ(count(HostCall::send_sp), 1u);
  EXPECT_EQ(Bytes(model->image.get() + 404, model->image.get() + 408), image_item(100));
}

// At a time-out, bytes that cannot start the awaited reply are dropped at
// once, and a frame kept whose rest has not come by the next time-out too.
TEST_F(Pass, PartialFrameThatIsNoAwaitedReplyGoesAtTheTimeOut) {
  make(R"({"ups": 1})");
  model->RefreshStatus();
  feed(hex("de ad be ef 00 cb"));
  ManualClock::advance_ms(3000);
  EXPECT_EQ(model->RefreshStatus(), 1);
  EXPECT_EQ(model->recv_len, 0);

  const Bytes reply = reply_to_last();
  feed(Bytes(reply.begin(), reply.begin() + 50));
  ManualClock::advance_ms(3000);
  EXPECT_EQ(model->RefreshStatus(), 1);
  EXPECT_EQ(model->recv_len, 50);
  ManualClock::advance_ms(3000);
  EXPECT_EQ(model->RefreshStatus(), 1);
  EXPECT_EQ(model->recv_len, 0);
  while (answer_last() == 1) {
  }
  EXPECT_EQ(count(HostCall::send_sp), 1u);
}

// However short the poll, a unit that never answers is given up on once
// the time-out has passed, again and again.
TEST_F(Pass, MuteUnitTimesOutWhateverThePollInterval) {
  make(R"({"ups": 1, "reply_timeout_ms": 500})");
  int timeouts = 0;
  for (int ms = 0; ms < 2000; ms += 100) {
    testing::internal::CaptureStdout();
    model->RefreshStatus();
    if (!testing::internal::GetCapturedStdout().empty()) ++timeouts;
    ManualClock::advance_ms(100);
  }
  EXPECT_EQ(timeouts, 3);
  EXPECT_EQ(host.sent().size(), 4u);
}

TEST_F(Pass, LinkThatDropsOrReconnectsEndsThePass) {
  make(R"({"ups": 1})");
  model->RefreshStatus();
  answer_last();
  const Bytes reply = reply_to_last();
  feed(Bytes(reply.begin(), reply.begin() + 20));
  model->link_ready = 0;
  EXPECT_EQ(model->RefreshStatus(), 0);
  // The partial frame went with the connection.
  EXPECT_EQ(model->recv_len, 0);
  model->link_ready = 1;
  EXPECT_EQ(model->RefreshStatus(), 1);
  EXPECT_EQ(field(last_sent(), 8), 0);

  answer_last();
  feed(hex("00 02 00 00"));
  EXPECT_EQ(model->OnConnected(model->socket_id), 1);
  EXPECT_EQ(model->recv_len, 0);
  EXPECT_EQ(run_pass(), 9);
}

TEST_F(Pass, ReplyBeforeInitIsIgnored) {
  QLTModel m;
  EXPECT_EQ(m.process(0, hex("00 00 00 00 00 07 01 03 04 00 00 00 00").data(), 13), 0);
  m.link_ready = 1;
  EXPECT_EQ(m.RefreshStatus(), 0);
  EXPECT_TRUE(host.sent().empty());
}

}  // namespace
