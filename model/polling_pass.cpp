// The polling pass: one request outstanding at a time, each reply checked
// against the request that asked for it and copied into its place in the
// image; after the last batch the image is stamped and the round completed.

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>

#include "host/ttime.h"
#include "model/item_map.h"
#include "model/qlt_model.h"

void QLTModel::send_request(int batch) {
  KPLSocketDevice::SendSocketData(
      reinterpret_cast<const unsigned char*>(&requests[static_cast<size_t>(batch)]),
      sizeof(rdu_read));
  awaiting_reply = true;
  sent_at = now();
}

void QLTModel::end_pass() {
  cur_batch = 0;
  awaiting_reply = false;
}

long QLTModel::room_left() const {
  const long left = static_cast<long>(image_size) - item_map::trailer_bytes - (cursor - image.get());
  // Negative when the cursor lies past the trailer's start: no room at all.
  return left / item_map::item_size;
}

int QLTModel::RefreshStatus() {
  if (link_ready == 0) return 0;
  if (awaiting_reply && now() - sent_at >= reply_timeout) {
    std::printf("QLTModel::RefreshStatus reply timeout: data_id:%u batch:%d\n", data_id, cur_batch);
    std::fflush(stdout);
    // Whatever part of a frame has arrived belongs to the abandoned pass.
    recv_len = 0;
    end_pass();
  }
  if (cur_batch != 0) return 0;
  if (batch_count <= 0 || !image) return 0;
  cursor = image.get() + item_map::header_bytes;
  send_request(0);
  return 1;
}

bool QLTModel::refuse_reply() {
  const unsigned int trans = ntohs(cur_header->trans_id);
  if (!awaiting_reply) {
    std::printf("QLTModel::process_payload Error:data_id:%u trans_id:%u no request outstanding\n",
                data_id, trans);
  } else if (trans != static_cast<unsigned int>(cur_batch)) {
    std::printf("QLTModel::process_payload Error:data_id:%u trans_id:%u expected_trans_id:%d\n",
                data_id, trans, cur_batch);
  } else if (cur_reply->byte_count > modbus::carried_data_bytes(*cur_header)) {
    std::printf("QLTModel::process_payload Error:data_id:%u data_len:%d carried:%d\n", data_id,
                cur_reply->byte_count, modbus::carried_data_bytes(*cur_header));
  } else {
    return false;
  }
  std::fflush(stdout);
  return true;
}

int QLTModel::process_payload() {
  if (cur_batch >= batch_count) return 0;
  if (refuse_reply()) return 0;

  const unsigned int q = ntohs(requests[static_cast<size_t>(cur_batch)].quantity);
  const unsigned int want = item_map::item_size * q;
  if (cur_reply->byte_count != want) {
    std::printf("QLTModel::process_payload Error:data_id:%u data_len:%d expected:%u\n", data_id,
                cur_reply->byte_count, want);
    std::fflush(stdout);
    return 0;
  }

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
  const ttime stamp = get_ttime(boost::posix_time::second_clock::local_time());
  if (image.get() + image_size - cursor != item_map::trailer_bytes) {
    std::puts("QLTModel::process_payload set update_date, buffer overflow");
    std::fflush(stdout);
    return 0;
  }
  std::memcpy(cursor, stamp.bytes, item_map::trailer_bytes);
  RoundDone();
  return 0;
}

int QLTModel::process_error() {
  std::printf("QLTModel::process_error code:%d\n", cur_header->func_code);
  std::fflush(stdout);
  return 0;
}
