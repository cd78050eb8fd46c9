#include "bench/scale/floor_poller.h"

#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "testkit/modbus_client.h"

namespace qltbench {

FloorPoller::FloorPoller(const std::vector<PolledUnit>& units, std::vector<rdu_read> requests,
                         std::chrono::milliseconds interval)
    : requests_(std::move(requests)), interval_(interval), epoll_fd_(epoll_create1(0)) {
  links_.reserve(units.size());
  for (const PolledUnit& u : units) {
    Link l;
    l.device_number = u.device_number;
    l.fd = connect_loopback(u.port);
    links_.push_back(l);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = links_.size() - 1;
    epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, links_.back().fd, &ev);
  }
}

FloorPoller::~FloorPoller() {
  for (const Link& l : links_) ::close(l.fd);
  ::close(epoll_fd_);
}

void FloorPoller::start_pass(Link& l) {
  // A pass still running when its unit is due again misses that round.
  if (l.batch >= 0) return;
  l.batch = 0;
  l.have = 0;
  ::send(l.fd, &requests_[0], sizeof(rdu_read), 0);
}

void FloorPoller::readable(Link& l) {
  const ssize_t n = ::recv(l.fd, l.buf + l.have, sizeof l.buf - l.have, 0);
  if (n <= 0) return;
  l.have += static_cast<size_t>(n);
  if (l.have < modbus::mbap_prefix) return;
  const size_t size = modbus::mbap_prefix + (static_cast<size_t>(l.buf[4]) << 8 | l.buf[5]);
  if (l.have < size || l.batch < 0) return;
  l.have = 0;
  if (++l.batch < static_cast<int>(requests_.size())) {
    ::send(l.fd, &requests_[static_cast<size_t>(l.batch)], sizeof(rdu_read), 0);
    return;
  }
  l.batch = -1;
  passes_.emplace_back(l.device_number, std::time(nullptr));
}

void FloorPoller::run_until(std::chrono::steady_clock::time_point deadline) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const size_t n = links_.size();
  // Unit i is due at start + interval * (i / n) and every interval after.
  size_t next = 0;
  auto due = start;
  epoll_event events[64];
  while (Clock::now() < deadline) {
    for (auto now = Clock::now(); due <= now; due = start + interval_ * (++next) / n)
      start_pass(links_[next % n]);
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now());
    const int ready = epoll_wait(epoll_fd_, events, 64, static_cast<int>(wait.count()) + 1);
    for (int i = 0; i < ready; ++i) readable(links_[events[i].data.u64]);
  }
}

}  // namespace qltbench
