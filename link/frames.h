// Modbus TCP frames as they lie on the wire. The records are packed so that a
// record's bytes are the frame's bytes and it can be laid over a receive
// buffer at any address; touch fields only through the record, never through
// a pointer to a field (such a pointer would be misaligned on ARM).
#pragma once

#include <cstdint>

// MBAP header plus function code.
struct __attribute__((packed)) rdu_header {
  std::uint16_t trans_id = 0;
  std::uint16_t proto_id = 0;
  // Bytes that follow this field: unit identifier, function code, the rest.
  std::uint16_t length;
  std::uint8_t unit_id;
  std::uint8_t func_code;
};

// Read Holding Registers request. Held in host order while it is filled,
// in network order once hton() has made it the wire image.
struct __attribute__((packed)) rdu_read : rdu_header {
  std::uint16_t start_addr;
  std::uint16_t quantity = 50;
};

// Data reply, only ever laid over a completed frame in the receive buffer.
// data is sized for the largest byte count a reply can declare; a reply
// laid at the start of the 4096-byte receive buffer always has that room.
struct __attribute__((packed)) rdu_read_reply : rdu_header {
  std::uint8_t byte_count;
  std::uint8_t data[255];
};

static_assert(sizeof(rdu_header) == 8, "MBAP header and function code are 8 bytes");
static_assert(sizeof(rdu_read) == 12, "a read request is 12 bytes");
static_assert(sizeof(rdu_read_reply) == 264, "reply header, byte count, 255 data bytes");
static_assert(alignof(rdu_read) == 1 && alignof(rdu_read_reply) == 1, "records are packed");

namespace modbus {

constexpr std::uint8_t fc_read_holding = 3;
constexpr std::uint8_t fc_write_multiple = 16;
constexpr std::uint8_t fc_error = 144;
// Set in the function code of a reply that refuses its request.
constexpr std::uint8_t exception_bit = 0x80;

// Bytes of a frame before its length field counts: transaction identifier,
// protocol identifier and the length field itself.
constexpr int mbap_prefix = 6;
// Offset of the first data byte of a reply.
constexpr int reply_data_offset = 9;

// Frame size that a header declares.
int frame_size(const rdu_header& h);
// Data bytes that a reply's frame actually carries (negative when the frame
// ends before its byte count).
int carried_data_bytes(const rdu_header& h);

}  // namespace modbus
