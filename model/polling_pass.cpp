// The polling pass: one request outstanding at a time, each reply checked
// against the request that asked for it and copied into its place in the
// image; after the last batch the image is stamped and the round completed.

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>

#include "host/ttime.h"
#include "model/local_time.h"
#include "model/qlt_model.h"

void QLTModel::send_request(int batch) {
  rdu_read& req = requests[static_cast<size_t>(batch)];
  // The stored request is the wire image; only its transaction id changes
  // from one send to the next.
  awaited_trans_id = next_trans_id++;
  if (next_trans_id == 0) next_trans_id = 1;
  req.trans_id = htons(awaited_trans_id);
  awaiting_reply = true;
  sent_at = now();
  KPLSocketDevice::SendSocketData(reinterpret_cast<const unsigned char*>(&req), sizeof(rdu_read));
}

void QLTModel::end_pass() {
  cur_batch = 0;
  awaiting_reply = false;
}

long QLTModel::room_left() const {
  const long left =
      static_cast<long>(image_size) - ImageLayout::trailer_bytes - (cursor - image.get());
  // Negative when the cursor lies past the trailer's start: no room at all.
  return left / ImageLayout::item_size;
}

int QLTModel::OnConnected(int handle) {
  drop_partial_frame();
  end_pass();
  return QLTProtocol::OnConnected(handle);
}

int QLTModel::RefreshStatus() {
  if (link_ready == 0) {
    // The awaited reply went with the connection, and so did any part of a
    // frame.
    drop_partial_frame();
    end_pass();
    return 0;
  }
  if (awaiting_reply) {
    // One request at a time: a unit behind a serial gateway answers in
    // turn, and a repeated request would only queue behind the first.
    if (now() - sent_at < reply_timeout) return 0;
    std::printf("QLTModel::RefreshStatus reply timeout: data_id:%u batch:%d\n", data_id, cur_batch);
    std::fflush(stdout);
    give_up_partial_frame();
    end_pass();
  }
  if (batch_count <= 0 || !image) return 0;
  cursor = image.get() + ImageLayout::header_bytes;
  send_request(0);
  return 1;
}

void QLTModel::give_up_partial_frame() {
  if (recv_len <= 0) return;
  // The rest of a reply cut by the time-out may still come, in the same
  // stream: dropping what has arrived would have the rest read as a frame
  // of its own, whose length, taken from reply data, could swallow the
  // replies after it. Bytes that cannot start the awaited reply, or a frame
  // already kept at the time-out before and still not complete, are no
  // frame to wait for and go at once.
  const ReplyIdentity::Awaited awaited{awaited_trans_id, dev_addr};
  if (!discarding_partial_frame() && identity.may_start_reply(recv_buf, recv_len, awaited))
    discard_partial_frame();
  else
    drop_partial_frame();
}

namespace {

void say_change(ReplyIdentity::Change change, unsigned int data_id, const rdu_header& h,
                unsigned int awaited_trans_id, unsigned int unit) {
  const unsigned int trans = ntohs(h.trans_id);
  switch (change) {
    case ReplyIdentity::unchanged:
      return;
    case ReplyIdentity::stops_echoing:
      std::printf(
          "QLTModel::process_payload data_id:%u trans_id:%u expected_trans_id:%u the unit does "
          "not echo transaction ids; its replies are taken in order\n",
          data_id, trans, awaited_trans_id);
      break;
    case ReplyIdentity::echoes_again:
      std::printf("QLTModel::process_payload data_id:%u the unit echoes transaction ids again\n",
                  data_id);
      break;
    case ReplyIdentity::other_unit:
      std::printf(
          "QLTModel::process_payload data_id:%u unit_id:%u expected_unit_id:%u the unit answers "
          "with another unit id; its replies are taken\n",
          data_id, static_cast<unsigned int>(h.unit_id), unit);
      break;
    case ReplyIdentity::own_unit_again:
      std::printf("QLTModel::process_payload data_id:%u the unit answers with its unit id again\n",
                  data_id);
      break;
  }
  std::fflush(stdout);
}

}  // namespace

bool QLTModel::answers_outstanding(const char* operation, bool fits, bool say_why) {
  const unsigned int trans = ntohs(cur_header->trans_id);
  if (!awaiting_reply) {
    if (say_why)
      std::printf("QLTModel::%s Error:data_id:%u trans_id:%u no request outstanding\n", operation,
                  data_id, trans);
    std::fflush(stdout);
    return false;
  }
  const ReplyIdentity::Reply reply{static_cast<std::uint16_t>(trans), ntohs(cur_header->proto_id),
                                   cur_header->unit_id, fits};
  ReplyIdentity::Change change;
  const ReplyIdentity::Verdict verdict =
      identity.check(reply, {awaited_trans_id, dev_addr}, change);
  say_change(change, data_id, *cur_header, awaited_trans_id, dev_addr);
  if (verdict == ReplyIdentity::accept) return true;
  if (!say_why) return false;
  if (verdict == ReplyIdentity::wrong_protocol)
    std::printf("QLTModel::%s Error:data_id:%u proto_id:%u expected_proto_id:0\n", operation,
                data_id, static_cast<unsigned int>(reply.proto_id));
  else if (verdict == ReplyIdentity::wrong_unit)
    std::printf("QLTModel::%s Error:data_id:%u unit_id:%u expected_unit_id:%u\n", operation,
                data_id, static_cast<unsigned int>(reply.unit_id),
                static_cast<unsigned int>(dev_addr));
  else
    std::printf("QLTModel::%s Error:data_id:%u trans_id:%u expected_trans_id:%u\n", operation,
                data_id, trans, static_cast<unsigned int>(awaited_trans_id));
  std::fflush(stdout);
  return false;
}

bool QLTModel::refuse_reply() {
  const int carried = modbus::carried_data_bytes(*cur_header);
  const unsigned int want =
      ImageLayout::item_size * ntohs(requests[static_cast<size_t>(cur_batch)].quantity);
  const bool fits = cur_reply->byte_count == want && carried == static_cast<int>(want);
  if (!answers_outstanding("process_payload", fits, true)) return true;
  // The answer to the request outstanding, but unusable: no other answer
  // will come, so the pass ends and the next poll starts it again.
  // A frame that ends before its byte count (carried -1) declares none.
  if (carried < 0 || cur_reply->byte_count > carried) {
    std::printf("QLTModel::process_payload Error:data_id:%u data_len:%d carried:%d\n", data_id,
                carried < 0 ? -1 : cur_reply->byte_count, carried);
  } else if (cur_reply->byte_count != want) {
    std::printf("QLTModel::process_payload Error:data_id:%u data_len:%d expected:%u\n", data_id,
                cur_reply->byte_count, want);
  } else {
    return false;
  }
  std::fflush(stdout);
  end_pass();
  return true;
}

// The host contract fixes the wording of the lines below
// ("QLTModel::process_payload Error:data_id:..."): tools that watch a host's
// output match them letter for letter.
int QLTModel::process_payload() {
  if (cur_batch >= batch_count) return 0;
  if (refuse_reply()) return 0;

  const unsigned int q = ntohs(requests[static_cast<size_t>(cur_batch)].quantity);
  const unsigned int want = ImageLayout::item_size * q;
  const bool last = cur_batch == batch_count - 1;
  if (room_left() < static_cast<long>(q)) {
    std::puts(last ? "QLTModel::process_payload last round, buffer overflow"
                   : "QLTModel::process_payload call data, buffer overflow");
    std::fflush(stdout);
    end_pass();
    return 0;
  }
  std::memcpy(cursor, cur_reply->data, want);
  cursor += want;

  if (!last) {
    ++cur_batch;
    send_request(cur_batch);
    return 1;
  }

  end_pass();
  const ttime stamp = get_ttime(local_time_at(wall_clock()));
  if (image.get() + image_size - cursor != ImageLayout::trailer_bytes) {
    std::puts("QLTModel::process_payload set update_date, buffer overflow");
    std::fflush(stdout);
    return 0;
  }
  std::memcpy(cursor, stamp.bytes, ImageLayout::trailer_bytes);
  RoundDone();
  return 0;
}

int QLTModel::process_error() {
  const std::uint8_t func = cur_header->func_code;
  if (func == modbus::fc_error) {
    std::printf("QLTModel::process_error code:%d\n", func);
  } else {
    // The exception code follows the function code, when the frame has it.
    const bool has_code = modbus::frame_size(*cur_header) > static_cast<int>(sizeof(rdu_header));
    std::printf("QLTModel::process_error exception: data_id:%u function:%d code:%d\n", data_id,
                func ^ modbus::exception_bit, has_code ? recv_buf[sizeof(rdu_header)] : -1);
  }
  std::fflush(stdout);
  // A refusal of the request outstanding: no data will come for it.
  if (answers_outstanding("process_error", false, false)) end_pass();
  return 0;
}
