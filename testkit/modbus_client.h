// A blocking Modbus TCP client of a unit on 127.0.0.1: one socket with
// Nagle off. Tests read from it byte by byte with a time limit of their own;
// the latency floor exchanges whole frames through it with the fewest
// system calls. Every wait is bounded.
#pragma once

#include <chrono>
#include <cstddef>

#include "testkit/hex.h"

// A TCP socket connected to 127.0.0.1:port, Nagle off. Throws
// std::runtime_error when it cannot connect.
int connect_loopback(unsigned short port);

class ModbusClient {
 public:
  // Throws std::runtime_error when it cannot connect.
  explicit ModbusClient(unsigned short port);
  ~ModbusClient();
  ModbusClient(const ModbusClient&) = delete;
  ModbusClient& operator=(const ModbusClient&) = delete;

  // Throws std::runtime_error when the bytes cannot all be sent.
  void send(const Bytes& b);
  // Exactly n bytes, or fewer if the time runs out or the unit closes.
  Bytes read(std::size_t n, std::chrono::milliseconds within = std::chrono::seconds(5));
  // What one receive returns once anything has arrived.
  Bytes read_some(std::chrono::milliseconds within = std::chrono::seconds(5));
  // True when the unit closed the connection within the time.
  bool closed_by_peer(std::chrono::milliseconds within = std::chrono::seconds(5));

  // Sends a request frame and receives the whole frame that answers it, each
  // receive waiting at most two seconds; false when that fails.
  bool exchange(const void* request, std::size_t size);

 private:
  bool send_all(const unsigned char* data, std::size_t size);
  // Waits for the socket to become readable; false when the time runs out.
  bool readable(std::chrono::steady_clock::time_point deadline);

  int fd_ = -1;
  unsigned char frame_[1024];
};
