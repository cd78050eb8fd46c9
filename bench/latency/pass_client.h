// A client that runs a pass against a unit: the same read requests, one
// after another, each reply received whole before the next request goes out.
#pragma once

#include <memory>
#include <vector>

#include "link/frames.h"

namespace qltbench {

class PassClient {
 public:
  virtual ~PassClient() = default;
  // requests in wire order; false when a reply did not come whole in time.
  virtual bool pass(const std::vector<rdu_read>& requests) = 0;
};

// The floor: one blocking TCP socket with Nagle off, and nothing else.
// Throws std::runtime_error when it cannot connect.
std::unique_ptr<PassClient> make_floor_client(unsigned short port);
// libmodbus sending the same requests raw (its own transaction ids); null
// when the program was built without libmodbus.
std::unique_ptr<PassClient> make_modbus_client(unsigned short port);

}  // namespace qltbench
