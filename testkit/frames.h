// Builders for request and reply frames, for tests, measurements and
// fuzzers that need long or many of them. Short frames are better written
// out as hex strings.
#pragma once

#include <cstdint>

#include "link/frames.h"
#include "testkit/hex.h"

// A read request: 4-byte items from `start`, `quantity` of them, for unit 1.
Bytes read_request(std::uint16_t trans_id, std::uint16_t start, std::uint16_t quantity,
                   std::uint8_t func = modbus::fc_read_holding);
// A Modbus TCP reply: MBAP header with the length that fits body, then the
// unit id, the function code and body.
Bytes reply_frame(std::uint16_t trans_id, std::uint8_t func, const Bytes& body,
                  std::uint8_t unit = 1);
// A data reply of function 3 carrying the given data bytes.
Bytes data_reply(std::uint16_t trans_id, const Bytes& data, std::uint8_t unit = 1);
// The reply a well-behaved unit owes to a read request (its 12 wire bytes):
// transaction and unit id echoed, every item it asks for the 4 bytes `item`.
Bytes reply_to(const unsigned char* request, const Bytes& item);
inline Bytes reply_to(const rdu_read& request, const Bytes& item) {
  return reply_to(reinterpret_cast<const unsigned char*>(&request), item);
}
// count data bytes whose value is their index, modulo 256.
Bytes counting_bytes(size_t count, unsigned char first = 0);
// Items as the unit sends them: each float's low 16-bit word first, each
// word big-endian.
Bytes wire_items(const std::vector<float>& items);
