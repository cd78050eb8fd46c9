#include "bench/latency/pass_client.h"
#include "testkit/modbus_client.h"

namespace qltbench {

namespace {

class FloorClient final : public PassClient {
 public:
  explicit FloorClient(unsigned short port) : client_(port) {}

  bool pass(const std::vector<rdu_read>& requests) override {
    for (const rdu_read& req : requests)
      if (!client_.exchange(&req, sizeof req)) return false;
    return true;
  }

 private:
  ModbusClient client_;
};

}  // namespace

std::unique_ptr<PassClient> make_floor_client(unsigned short port) {
  return std::make_unique<FloorClient>(port);
}

}  // namespace qltbench
