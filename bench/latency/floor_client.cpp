#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include "bench/latency/pass_client.h"

namespace qltbench {

namespace {

class FloorClient final : public PassClient {
 public:
  explicit FloorClient(unsigned short port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    if (fd_ < 0) fail("socket");
    const int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // A lost reply ends the pass after a bounded wait instead of hanging.
    const timeval limit{2, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) fail("connect");
  }
  ~FloorClient() override { ::close(fd_); }

  bool pass(const std::vector<rdu_read>& requests) override {
    for (const rdu_read& req : requests) {
      if (::send(fd_, &req, sizeof req, 0) != static_cast<ssize_t>(sizeof req)) return false;
      if (!read_frame()) return false;
    }
    return true;
  }

 private:
  [[noreturn]] void fail(const char* what) {
    const std::string why = std::string("floor client: ") + what + ": " + std::strerror(errno);
    if (fd_ >= 0) ::close(fd_);
    throw std::runtime_error(why);
  }

  // Reads until the frame that the header announces is complete.
  bool read_frame() {
    size_t have = 0, want = modbus::mbap_prefix;
    while (have < want) {
      const ssize_t n = ::recv(fd_, buf_ + have, sizeof buf_ - have, 0);
      if (n <= 0) return false;
      have += static_cast<size_t>(n);
      if (want == modbus::mbap_prefix && have >= want)
        want = modbus::mbap_prefix + (static_cast<size_t>(buf_[4]) << 8 | buf_[5]);
      if (want > sizeof buf_) return false;
    }
    return have == want;
  }

  int fd_;
  unsigned char buf_[1024];
};

}  // namespace

std::unique_ptr<PassClient> make_floor_client(unsigned short port) {
  return std::make_unique<FloorClient>(port);
}

}  // namespace qltbench
