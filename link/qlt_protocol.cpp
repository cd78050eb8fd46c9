#include "link/qlt_protocol.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

int QLTProtocol::Init(std::weak_ptr<KPLController> controller, unsigned int device_number,
                      const Json::Value& config) {
  KPLSocketDevice::Init(controller, device_number, config);
  socket_id = KPLSocketDevice::StartSocket(peer_ip, peer_port);
  return 1;
}

void QLTProtocol::hton(rdu_read& req) {
  req.length = 6;
  req.length = htons(req.length);
  req.trans_id = htons(req.trans_id);
  req.proto_id = htons(req.proto_id);
  req.start_addr = htons(req.start_addr);
  req.quantity = htons(req.quantity);
  req.func_code = modbus::fc_read_holding;
  req.unit_id = dev_addr;
}

void QLTProtocol::ntoh(rdu_read_reply& reply) {
  const int words = reply.byte_count / 2;
  for (int i = 0; i < words; ++i) {
    std::uint16_t w;
    std::memcpy(&w, &reply.data[2 * i], sizeof w);
    w = ntohs(w);
    std::memcpy(&reply.data[2 * i], &w, sizeof w);
  }
}

namespace {

// A frame must hold at least the header and function code, and fit the
// buffer with room to spare; a declared length outside that can never
// complete, so the stream has lost its framing.
bool possible_frame_size(int size) {
  return size >= static_cast<int>(sizeof(rdu_header)) && size < KPLSocketDevice::recv_capacity;
}

}  // namespace

int QLTProtocol::process_data(int, unsigned char* data, int len) {
  if (len < 0 || (len > 0 && data == nullptr)) return 0;
  if (recv_len < 0 || recv_len >= recv_capacity) recv_len = 0;
  // The host empties the buffer when a connection goes: the frame to be
  // dropped went with it.
  if (recv_len == 0) discarding_ = false;

  // A chunk of any size is taken in pieces that fit the buffer. Every piece
  // leaves room for the next: once the complete frames have gone, what is
  // held is less than one frame, and a frame is smaller than the buffer.
  int result = 1;
  do {
    const int piece = std::min(len, recv_capacity - 1 - recv_len);
    if (piece > 0) std::memcpy(recv_buf + recv_len, data, static_cast<size_t>(piece));
    recv_len += piece;
    data += piece;
    len -= piece;
    if (!dispatch_held(result)) {
      // Nothing says where the next frame starts: the bytes held and the
      // rest of the chunk are dropped, and the next chunk starts afresh.
      std::printf("QLTProtocol::process_data lost framing: data_id:%u length:%d dropped:%d\n",
                  data_id, ntohs(cur_header->length), recv_len + len);
      std::fflush(stdout);
      drop_partial_frame();
      return 0;
    }
  } while (len > 0);
  return result;
}

bool QLTProtocol::dispatch_held(int& result) {
  while (recv_len >= static_cast<int>(sizeof(rdu_header))) {
    cur_header = reinterpret_cast<rdu_header*>(recv_buf);
    const int size = modbus::frame_size(*cur_header);
    if (!possible_frame_size(size)) return false;
    if (size > recv_len) break;

    const int rest = recv_len - size;
    recv_len = 0;
    if (discarding_) {
      discarding_ = false;
      std::printf("QLTProtocol::process_data dropped a frame given up on: data_id:%u trans_id:%u\n",
                  data_id, ntohs(cur_header->trans_id));
      std::fflush(stdout);
    } else {
      result = dispatch();
    }
    // Whatever followed the frame is the start of the next one.
    if (rest > 0) {
      std::memmove(recv_buf, recv_buf + size, static_cast<size_t>(rest));
      recv_len = rest;
    }
  }
  return true;
}

int QLTProtocol::dispatch() {
  const std::uint8_t func = cur_header->func_code;
  if (func == modbus::fc_read_holding || func == modbus::fc_write_multiple) {
    cur_reply = reinterpret_cast<rdu_read_reply*>(recv_buf);
    // Convert only words that lie inside this frame: a reply whose byte
    // count overstates its frame is refused by the model, and must not
    // disturb the bytes of a frame that follows it.
    // A frame too short to hold a byte count leaves it unread.
    const int carried = modbus::carried_data_bytes(*cur_header);
    if (carried >= 0 && cur_reply->byte_count <= carried) ntoh(*cur_reply);
    return process_payload();
  }
  // The error reply (144) and every exception reply (function code with the
  // high bit set, 0x83 for a refused read) answer a request with no data.
  if (func & modbus::exception_bit) return process_error();
  return 1;
}
