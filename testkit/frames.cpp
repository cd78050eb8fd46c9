#include "testkit/frames.h"

#include <cstring>

Bytes reply_frame(std::uint16_t trans_id, std::uint8_t func, const Bytes& body) {
  const size_t length = 2 + body.size();
  Bytes f = {static_cast<unsigned char>(trans_id >> 8), static_cast<unsigned char>(trans_id),
             0, 0, static_cast<unsigned char>(length >> 8), static_cast<unsigned char>(length),
             1, func};
  f.insert(f.end(), body.begin(), body.end());
  return f;
}

Bytes data_reply(std::uint16_t trans_id, const Bytes& data) {
  Bytes body = {static_cast<unsigned char>(data.size())};
  body.insert(body.end(), data.begin(), data.end());
  return reply_frame(trans_id, 3, body);
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
    const std::uint16_t lo = bits & 0xffff, hi = bits >> 16;
    for (std::uint16_t w : {lo, hi}) {
      out.push_back(static_cast<unsigned char>(w >> 8));
      out.push_back(static_cast<unsigned char>(w));
    }
  }
  return out;
}
