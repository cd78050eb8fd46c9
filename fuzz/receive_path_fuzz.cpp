// Fuzzes the receive path of a configured device: arbitrary byte chunks,
// interleaved with polls, overdue replies and dropped links, and replies
// that answer the last request properly so that passes do complete.
//
// Input: one byte choosing the unit's composition, then operations.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "fuzz/fuzz_host.h"

namespace {

QLTModel::Clock::time_point fake_now{};
QLTModel::Clock::time_point read_clock() { return fake_now; }

const char* const compositions[] = {"{}", R"({"ups": 1})", R"({"ac": 1})", R"({"ups": 1, "ac": 1})",
                                    R"({"ups": 2, "pdu_type_1": 1, "pdu_type_3": 1, "ac": 2})"};

void check_pass_state(const QLTModel& m) {
  FUZZ_CHECK(m.recv_len >= 0 && m.recv_len < KPLSocketDevice::recv_capacity);
  FUZZ_CHECK(m.cur_batch >= 0 && m.cur_batch < m.batch_count);
  FUZZ_CHECK(m.image_size == 4 * static_cast<int>(m.item_bytes / 4) + 11);
  if (m.cursor) {
    FUZZ_CHECK(m.cursor >= m.image.get());
    FUZZ_CHECK(m.cursor <= m.image.get() + m.image_size);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  FuzzHost host;
  auto model = std::make_shared<QLTModel>();
  model->services = &host.services;
  model->now = &read_clock;
  Json::Value config;
  config["appSetting"] = json_or_text(compositions[data[0] % 5]);
  config["addr"] = 1;
  FUZZ_CHECK(model->Init({}, 4242, config) == 1);
  model->link_ready = 1;

  size_t i = 1;
  while (i < size) {
    const uint8_t op = data[i++];
    switch (op % 8) {
      case 0:
      case 1:
      case 2: {
        // A raw chunk of up to 255 bytes straight from the input.
        const size_t n = std::min<size_t>(size - i, op / 8 + 1 + (op % 8) * 32);
        std::vector<unsigned char> chunk(data + i, data + i + n);
        i += n;
        model->process(1, chunk.data(), static_cast<int>(chunk.size()));
        break;
      }
      case 3:
        model->RefreshStatus();
        break;
      case 4:
        fake_now += std::chrono::milliseconds(op * 20);
        model->RefreshStatus();
        break;
      case 5: {
        // The right answer, whole or cut where the input says.
        if (host.sent == 0) break;
        auto reply = reply_to(host.last_request, Bytes(4, op));
        const size_t cut = i < size ? data[i++] % (reply.size() + 1) : reply.size();
        model->process(1, reply.data(), static_cast<int>(cut));
        if (cut < reply.size())
          model->process(1, reply.data() + cut, static_cast<int>(reply.size() - cut));
        break;
      }
      case 6:
        // The link drops, or comes back as a new connection.
        model->link_ready = static_cast<unsigned char>(op & 8 ? 1 : 0);
        model->recv_len = 0;
        if (op & 8) model->OnConnected(1);
        break;
      case 7: {
        // A cached image of this device, of the planned size or not.
        std::vector<unsigned char> cached(
            static_cast<size_t>(model->image_size) + (op & 16 ? 4 : 0), op);
        std::memcpy(cached.data(), model->image.get(), 4);
        const int before = model->image_size;
        const int ok = model->LoadFromCache(cached.data(), static_cast<int>(cached.size()));
        FUZZ_CHECK(ok == (cached.size() == static_cast<size_t>(before)));
        FUZZ_CHECK(model->image_size == before);
        break;
      }
    }
    check_pass_state(*model);
  }
  return 0;
}
