#include "testkit/hostile_unit.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

#include "testkit/frames.h"

namespace {

unsigned get16(const unsigned char* p) { return static_cast<unsigned>(p[0] << 8 | p[1]); }

}  // namespace

HostileUnit::HostileUnit(Behaviour behaviour) : behaviour_(behaviour) {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(listener_, 4) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    throw std::runtime_error("hostile unit: cannot listen on loopback");
  port_ = ntohs(a.sin_port);
  thread_ = std::thread([this] { serve(); });
}

HostileUnit::~HostileUnit() {
  stop_ = true;
  thread_.join();
  if (client_ >= 0) ::close(client_);
  ::close(listener_);
}

std::vector<HostileUnit::Clock::time_point> HostileUnit::arrivals() const {
  std::lock_guard<std::mutex> g(lock_);
  return arrivals_;
}

std::vector<std::uint16_t> HostileUnit::answered() const {
  std::lock_guard<std::mutex> g(lock_);
  return answered_;
}

// Every item of a reply is the reply's number.
std::vector<unsigned char> HostileUnit::answer(const unsigned char* request) {
  float value;
  {
    std::lock_guard<std::mutex> g(lock_);
    answered_.push_back(static_cast<std::uint16_t>(get16(request + 8)));
    value = static_cast<float>(answered_.size());
  }
  return reply_to(request, wire_items({value}));
}

void HostileUnit::take_requests(std::vector<unsigned char>& in) {
  while (in.size() >= 6) {
    const size_t size = 6 + get16(in.data() + 4);
    if (in.size() < size) return;
    const auto now = Clock::now();
    {
      std::lock_guard<std::mutex> g(lock_);
      arrivals_.push_back(now);
    }
    if (!behaviour_.mute && size == 12 && in[7] == 3) {
      auto at = now + behaviour_.reply_after;
      if (behaviour_.serial) {
        at = std::max(now, serial_free_) + behaviour_.reply_after;
        serial_free_ = at;
      }
      Due reply{answer(in.data())};
      if (behaviour_.repeat_after.count() > 0) due_.emplace(at + behaviour_.repeat_after, reply);
      due_.emplace(at, std::move(reply));
    }
    in.erase(in.begin(), in.begin() + static_cast<long>(size));
  }
}

void HostileUnit::serve() {
  std::vector<unsigned char> in;
  while (!stop_) {
    int wait_ms = 10;
    if (!due_.empty()) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(due_.begin()->first - Clock::now());
      wait_ms = static_cast<int>(std::clamp<long long>(left.count(), 0, 10));
    }
    pollfd fds[2] = {{listener_, POLLIN, 0}, {client_, POLLIN, 0}};
    ::poll(fds, client_ >= 0 ? 2 : 1, wait_ms);

    if (fds[0].revents & POLLIN) {
      // A new connection replaces the old one, as a unit with one port does.
      const int c = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (c >= 0) ++accepted_;
      if (c >= 0 && behaviour_.reset_at_accept) {
        const linger abort{1, 0};
        ::setsockopt(c, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        ::close(c);
      } else if (c >= 0) {
        if (client_ >= 0) ::close(client_);
        client_ = c;
        int one = 1;
        ::setsockopt(client_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        flood_from_ = Clock::now();
        flood_sent_ = 0;
        in.clear();
        due_.clear();
      }
    } else if (client_ >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
      unsigned char buf[4096];
      const ssize_t n = ::recv(client_, buf, sizeof buf, 0);
      if (n <= 0) {
        ::close(client_);
        client_ = -1;
        due_.clear();
      } else {
        in.insert(in.end(), buf, buf + n);
        take_requests(in);
      }
    }

    if (client_ >= 0 && behaviour_.unsolicited_per_second > 0) {
      // Reply-shaped frames to transactions never asked for, paced to the
      // rate since the client came.
      const auto since =
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - flood_from_);
      const long owed = static_cast<long>(since.count()) * behaviour_.unsolicited_per_second / 1000;
      for (long i = flood_sent_; i < owed; ++i, ++flood_sent_) {
        const Bytes frame =
            data_reply(static_cast<std::uint16_t>(40000 + unsolicited_ % 20000), wire_items({1}));
        if (::send(client_, frame.data(), frame.size(), MSG_NOSIGNAL | MSG_DONTWAIT) > 0)
          ++unsolicited_;
      }
    }
    while (!due_.empty() && due_.begin()->first <= Clock::now()) {
      const Due& d = due_.begin()->second;
      if (client_ >= 0) (void)::send(client_, d.bytes.data(), d.bytes.size(), MSG_NOSIGNAL);
      due_.erase(due_.begin());
    }
  }
}
