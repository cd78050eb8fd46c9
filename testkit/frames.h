// Builders for reply frames, for tests that need long or many replies.
// Short frames are better written out as hex strings.
#pragma once

#include <cstdint>

#include "testkit/hex.h"

// A Modbus TCP reply: MBAP header with the length that fits body, then
// unit 1, the function code and body.
Bytes reply_frame(std::uint16_t trans_id, std::uint8_t func, const Bytes& body);
// A data reply of function 3 carrying the given data bytes.
Bytes data_reply(std::uint16_t trans_id, const Bytes& data);
// count data bytes whose value is their index, modulo 256.
Bytes counting_bytes(size_t count, unsigned char first = 0);
// Items as the unit sends them: each float's low 16-bit word first, each
// word big-endian.
Bytes wire_items(const std::vector<float>& items);
