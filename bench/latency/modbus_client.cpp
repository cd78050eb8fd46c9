#include <modbus.h>

#include <cerrno>
#include <stdexcept>
#include <string>

#include "bench/latency/pass_client.h"

namespace qltbench {

namespace {

class ModbusClient final : public PassClient {
 public:
  explicit ModbusClient(unsigned short port) : ctx_(modbus_new_tcp("127.0.0.1", port)) {
    if (!ctx_) throw std::runtime_error("libmodbus: cannot make a context");
    modbus_set_response_timeout(ctx_, 2, 0);
    if (modbus_connect(ctx_) != 0) {
      const std::string why = modbus_strerror(errno);
      modbus_free(ctx_);
      throw std::runtime_error("libmodbus: cannot connect: " + why);
    }
  }
  ~ModbusClient() override {
    modbus_close(ctx_);
    modbus_free(ctx_);
  }

  // The request after its MBAP prefix (unit, function, start, quantity);
  // libmodbus adds the prefix itself.
  bool pass(const std::vector<rdu_read>& requests) override {
    for (const rdu_read& req : requests) {
      const auto* raw = reinterpret_cast<const std::uint8_t*>(&req) + modbus::mbap_prefix;
      const int len = static_cast<int>(sizeof req) - modbus::mbap_prefix;
      if (modbus_send_raw_request(ctx_, raw, len) != static_cast<int>(sizeof req)) return false;
      if (modbus_receive_confirmation(ctx_, reply_) <= 0) return false;
    }
    return true;
  }

 private:
  modbus_t* ctx_;
  std::uint8_t reply_[MODBUS_TCP_MAX_ADU_LENGTH];
};

}  // namespace

std::unique_ptr<PassClient> make_modbus_client(unsigned short port) {
  return std::make_unique<ModbusClient>(port);
}

}  // namespace qltbench
