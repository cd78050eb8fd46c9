// Built instead of modbus_client.cpp when libmodbus is not installed.
#include "bench/latency/pass_client.h"

namespace qltbench {

std::unique_ptr<PassClient> make_modbus_client(unsigned short) { return nullptr; }

}  // namespace qltbench
