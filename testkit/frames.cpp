#include "testkit/frames.h"

#include <algorithm>
#include <cstring>

namespace {

void put16(Bytes& out, unsigned v) {
  out.push_back(static_cast<unsigned char>(v >> 8));
  out.push_back(static_cast<unsigned char>(v));
}

}  // namespace

Bytes read_request(std::uint16_t trans_id, std::uint16_t start, std::uint16_t quantity,
                   std::uint8_t func) {
  Bytes f;
  for (unsigned v : {unsigned{trans_id}, 0u, 6u}) put16(f, v);
  f.push_back(1);
  f.push_back(func);
  put16(f, start);
  put16(f, quantity);
  return f;
}

Bytes reply_frame(std::uint16_t trans_id, std::uint8_t func, const Bytes& body, std::uint8_t unit) {
  Bytes f;
  for (unsigned v : {unsigned{trans_id}, 0u, static_cast<unsigned>(2 + body.size())}) put16(f, v);
  f.push_back(unit);
  f.push_back(func);
  f.insert(f.end(), body.begin(), body.end());
  return f;
}

Bytes data_reply(std::uint16_t trans_id, const Bytes& data, std::uint8_t unit) {
  Bytes body(1 + data.size(), static_cast<unsigned char>(data.size()));
  std::copy(data.begin(), data.end(), body.begin() + 1);
  return reply_frame(trans_id, modbus::fc_read_holding, body, unit);
}

Bytes reply_to(const unsigned char* request, const Bytes& item) {
  const unsigned quantity = static_cast<unsigned>(request[10] << 8 | request[11]);
  Bytes data;
  for (unsigned i = 0; i < quantity; ++i) data.insert(data.end(), item.begin(), item.end());
  return data_reply(static_cast<std::uint16_t>(request[0] << 8 | request[1]), data, request[6]);
}

Bytes counting_bytes(size_t count, unsigned char first) {
  Bytes b(count);
  for (size_t i = 0; i < count; ++i) b[i] = static_cast<unsigned char>(first + i);
  return b;
}

Bytes wire_items(const std::vector<float>& items) {
  Bytes out;
  for (float v : items) {
    std::uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    put16(out, bits & 0xffff);
    put16(out, bits >> 16);
  }
  return out;
}
