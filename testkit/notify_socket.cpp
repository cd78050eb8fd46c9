#include "testkit/notify_socket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

NotifySocket::NotifySocket(const std::string& path, std::chrono::microseconds watchdog)
    : path_(path) {
  sockaddr_un at{};
  if (path.size() >= sizeof at.sun_path) throw std::runtime_error("socket path too long: " + path);
  fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) throw std::runtime_error("socket: " + std::string(std::strerror(errno)));
  at.sun_family = AF_UNIX;
  std::memcpy(at.sun_path, path.c_str(), path.size());
  ::unlink(path.c_str());
  if (::bind(fd_, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0) {
    ::close(fd_);
    throw std::runtime_error("bind " + path + ": " + std::strerror(errno));
  }
  ::setenv("NOTIFY_SOCKET", path.c_str(), 1);
  ::setenv("WATCHDOG_USEC", std::to_string(watchdog.count()).c_str(), 1);
}

NotifySocket::~NotifySocket() {
  ::unsetenv("NOTIFY_SOCKET");
  ::unsetenv("WATCHDOG_USEC");
  ::close(fd_);
  ::unlink(path_.c_str());
}

std::optional<std::string> NotifySocket::receive(std::chrono::milliseconds limit) {
  pollfd p{fd_, POLLIN, 0};
  if (::poll(&p, 1, static_cast<int>(limit.count())) != 1) return std::nullopt;
  char buf[4096];
  const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
  if (n < 0) return std::nullopt;
  return std::string(buf, static_cast<size_t>(n));
}

bool NotifySocket::wait_for(const std::string& text, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    const std::optional<std::string> notice = receive(left);
    if (!notice) return false;
    if (notice->compare(0, text.size(), text) == 0) return true;
  }
}
