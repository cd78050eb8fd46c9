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
