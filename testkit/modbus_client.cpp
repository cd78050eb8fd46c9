#include "testkit/modbus_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include "link/frames.h"

int connect_loopback(unsigned short port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(port);
  peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
    const std::string why = std::strerror(errno);
    ::close(fd);
    throw std::runtime_error("cannot connect to 127.0.0.1:" + std::to_string(port) + ": " + why);
  }
  return fd;
}

ModbusClient::ModbusClient(unsigned short port) : fd_(connect_loopback(port)) {
  // Bounds every blocking receive, the reads of exchange() among them.
  const timeval limit{2, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
}

ModbusClient::~ModbusClient() { ::close(fd_); }

bool ModbusClient::send_all(const unsigned char* data, std::size_t size) {
  std::size_t sent = 0;
  while (sent < size) {
    const ssize_t n = ::send(fd_, data + sent, size - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

void ModbusClient::send(const Bytes& b) {
  if (!send_all(b.data(), b.size())) throw std::runtime_error("send failed");
}

bool ModbusClient::readable(std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() < 0) return false;
    pollfd p{fd_, POLLIN, 0};
    const int r = ::poll(&p, 1, static_cast<int>(left.count()));
    if (r > 0) return true;
    if (r == 0) return false;
    if (errno != EINTR) return false;
  }
}

Bytes ModbusClient::read(std::size_t n, std::chrono::milliseconds within) {
  const auto deadline = std::chrono::steady_clock::now() + within;
  Bytes got;
  while (got.size() < n && readable(deadline)) {
    unsigned char buf[1024];
    const ssize_t r = ::recv(fd_, buf, std::min(sizeof buf, n - got.size()), 0);
    if (r <= 0) break;
    got.insert(got.end(), buf, buf + r);
  }
  return got;
}

Bytes ModbusClient::read_some(std::chrono::milliseconds within) {
  if (!readable(std::chrono::steady_clock::now() + within)) return {};
  unsigned char buf[4096];
  const ssize_t r = ::recv(fd_, buf, sizeof buf, 0);
  return r > 0 ? Bytes(buf, buf + r) : Bytes{};
}

bool ModbusClient::closed_by_peer(std::chrono::milliseconds within) {
  const auto deadline = std::chrono::steady_clock::now() + within;
  while (readable(deadline)) {
    unsigned char buf[256];
    const ssize_t r = ::recv(fd_, buf, sizeof buf, 0);
    if (r == 0 || (r < 0 && errno != EINTR)) return true;
  }
  return false;
}

bool ModbusClient::exchange(const void* request, std::size_t size) {
  if (!send_all(static_cast<const unsigned char*>(request), size)) return false;
  // Receives until the frame that the header announces is complete.
  std::size_t have = 0, want = modbus::mbap_prefix;
  while (have < want) {
    const ssize_t n = ::recv(fd_, frame_ + have, sizeof frame_ - have, 0);
    if (n <= 0) return false;
    have += static_cast<std::size_t>(n);
    if (want == modbus::mbap_prefix && have >= want)
      want = modbus::mbap_prefix + (static_cast<std::size_t>(frame_[4]) << 8 | frame_[5]);
    if (want > sizeof frame_) return false;
  }
  return have == want;
}
