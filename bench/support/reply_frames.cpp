#include "bench/support/reply_frames.h"

#include <arpa/inet.h>

#include <cstring>

#include "points/image_layout.h"

namespace qltbench {

std::vector<Frame> replies_for(const std::vector<rdu_read>& requests) {
  std::vector<Frame> out;
  for (const rdu_read& req : requests) {
    const unsigned int data_bytes = ImageLayout::item_size * ntohs(req.quantity);
    Frame f(modbus::reply_data_offset + data_bytes);
    rdu_header h;
    h.trans_id = req.trans_id;  // already in wire order
    h.length = htons(static_cast<std::uint16_t>(3 + data_bytes));
    h.unit_id = req.unit_id;
    h.func_code = modbus::fc_read_holding;
    std::memcpy(f.data(), &h, sizeof h);
    f[sizeof h] = static_cast<unsigned char>(data_bytes);
    // Items of 1.0f, low word first: no alarm point is in alarm.
    for (unsigned int i = sizeof h + 1; i < f.size(); i += 4) {
      f[i + 2] = 0x3f;
      f[i + 3] = 0x80;
    }
    out.push_back(std::move(f));
  }
  return out;
}

}  // namespace qltbench
