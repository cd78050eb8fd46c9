#include "tests/sim/loopback_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace simtest {

Bytes read_request(std::uint16_t tid, std::uint16_t start, std::uint16_t quantity,
                   std::uint8_t func) {
  const auto hi = [](std::uint16_t v) { return static_cast<unsigned char>(v >> 8); };
  const auto lo = [](std::uint16_t v) { return static_cast<unsigned char>(v & 0xFF); };
  return {hi(tid), lo(tid), 0, 0, 0, 6, 1, func, hi(start), lo(start), hi(quantity), lo(quantity)};
}

LoopbackClient::LoopbackClient(unsigned short port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd_ < 0) throw std::runtime_error("no socket");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int one = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd_);
    throw std::runtime_error("cannot connect to 127.0.0.1:" + std::to_string(port));
  }
}

LoopbackClient::~LoopbackClient() { ::close(fd_); }

void LoopbackClient::send(const Bytes& b) {
  std::size_t sent = 0;
  while (sent < b.size()) {
    const ssize_t n = ::send(fd_, b.data() + sent, b.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw std::runtime_error("send failed");
    sent += static_cast<std::size_t>(n);
  }
}

bool LoopbackClient::readable(std::chrono::steady_clock::time_point deadline) {
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

Bytes LoopbackClient::read(std::size_t n, std::chrono::milliseconds within) {
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

Bytes LoopbackClient::read_some(std::chrono::milliseconds within) {
  if (!readable(std::chrono::steady_clock::now() + within)) return {};
  unsigned char buf[4096];
  const ssize_t r = ::recv(fd_, buf, sizeof buf, 0);
  return r > 0 ? Bytes(buf, buf + r) : Bytes{};
}

bool LoopbackClient::closed_by_peer(std::chrono::milliseconds within) {
  const auto deadline = std::chrono::steady_clock::now() + within;
  while (readable(deadline)) {
    unsigned char buf[256];
    const ssize_t r = ::recv(fd_, buf, sizeof buf, 0);
    if (r == 0 || (r < 0 && errno != EINTR)) return true;
  }
  return false;
}

}  // namespace simtest
