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

void put16(unsigned char* p, unsigned v) {
  p[0] = static_cast<unsigned char>(v >> 8);
  p[1] = static_cast<unsigned char>(v);
}

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
  for (const Client& c : clients_) ::close(c.fd);
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

// Every item of a reply is the reply's number, set apart by unit; the ids
// are what the behaviour says.
std::vector<unsigned char> HostileUnit::answer(const unsigned char* request) {
  {
    std::lock_guard<std::mutex> g(lock_);
    answered_.push_back(static_cast<std::uint16_t>(get16(request + 8)));
  }
  const int n = ++replies_for_unit_[request[6]];
  const float value = static_cast<float>(n) + 100000.0f * static_cast<float>(request[6] - 1);
  std::vector<unsigned char> reply = reply_to(request, wire_items({value}));
  if (behaviour_.trans_id >= 0) put16(&reply[0], static_cast<unsigned>(behaviour_.trans_id));
  put16(&reply[2], static_cast<unsigned>(behaviour_.proto_id));
  if (behaviour_.unit_id >= 0)
    reply[6] = static_cast<unsigned char>(behaviour_.unit_id + (behaviour_.unit_id_varies ? n : 0));
  return reply;
}

void HostileUnit::take_requests(Client& c) {
  std::vector<unsigned char>& in = c.in;
  while (in.size() >= 6) {
    const size_t size = 6 + get16(in.data() + 4);
    if (in.size() < size) return;
    const auto now = Clock::now();
    {
      std::lock_guard<std::mutex> g(lock_);
      arrivals_.push_back(now);
    }
    if (!behaviour_.mute && size == 12 && in[7] == 3) {
      // A reply goes no earlier than the one before it, when that one is
      // held back (serially, or cut).
      const auto at = std::max(now, serial_free_) + behaviour_.reply_after;
      const int to = behaviour_.broadcast ? -1 : c.fd;
      std::vector<unsigned char> reply = answer(in.data());
      const bool cut = static_cast<int>(answered().size()) == behaviour_.cut_reply;
      if (behaviour_.serial) serial_free_ = at;
      if (cut) {
        if (behaviour_.cut_fill >= 0)
          std::fill(reply.begin() + 9, reply.end(),
                    static_cast<unsigned char>(behaviour_.cut_fill));
        const auto split = reply.begin() + behaviour_.cut_at;
        due_.emplace(at, Due{std::vector<unsigned char>(reply.begin(), split), to});
        due_.emplace(at + behaviour_.cut_wait,
                     Due{std::vector<unsigned char>(split, reply.end()), to});
        serial_free_ = at + behaviour_.cut_wait;
      } else {
        if (behaviour_.repeat_after.count() > 0)
          due_.emplace(at + behaviour_.repeat_after, Due{reply, to});
        due_.emplace(at, Due{std::move(reply), to});
      }
    }
    in.erase(in.begin(), in.begin() + static_cast<long>(size));
  }
}

void HostileUnit::accept_client() {
  const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  ++accepted_;
  if (behaviour_.reset_at_accept) {
    const linger abort{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(fd);
    return;
  }
  // A unit with one port serves one connection: a new one replaces the old.
  if (!behaviour_.broadcast) {
    while (!clients_.empty()) close_client(0);
    due_.clear();
  }
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  clients_.push_back({fd, {}});
  flood_from_ = Clock::now();
  flood_sent_ = 0;
}

void HostileUnit::send_unsolicited() {
  // Reply-shaped frames to transactions never asked for, paced to the rate
  // since the client came.
  const auto since =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - flood_from_);
  const long owed = static_cast<long>(since.count()) * behaviour_.unsolicited_per_second / 1000;
  for (long i = flood_sent_; i < owed; ++i, ++flood_sent_) {
    const Bytes frame =
        data_reply(static_cast<std::uint16_t>(40000 + unsolicited_ % 20000), wire_items({1}));
    for (const Client& c : clients_)
      if (::send(c.fd, frame.data(), frame.size(), MSG_NOSIGNAL | MSG_DONTWAIT) > 0) ++unsolicited_;
  }
}

void HostileUnit::close_client(size_t i) {
  const int fd = clients_[i].fd;
  ::close(fd);
  clients_.erase(clients_.begin() + static_cast<long>(i));
  for (auto it = due_.begin(); it != due_.end();)
    it = it->second.fd == fd ? due_.erase(it) : std::next(it);
}

void HostileUnit::send_due() {
  while (!due_.empty() && due_.begin()->first <= Clock::now()) {
    const Due& d = due_.begin()->second;
    for (const Client& c : clients_)
      if (d.fd < 0 || d.fd == c.fd)
        (void)::send(c.fd, d.bytes.data(), d.bytes.size(), MSG_NOSIGNAL);
    due_.erase(due_.begin());
  }
}

void HostileUnit::serve() {
  std::vector<pollfd> fds;
  while (!stop_) {
    int wait_ms = 10;
    if (!due_.empty()) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(due_.begin()->first - Clock::now());
      wait_ms = static_cast<int>(std::clamp<long long>(left.count(), 0, 10));
    }
    fds.assign(1, {listener_, POLLIN, 0});
    for (const Client& c : clients_) fds.push_back({c.fd, POLLIN, 0});
    ::poll(fds.data(), fds.size(), wait_ms);

    // Connections are taken in the order of fds; one that closes leaves the
    // rest of this round's events for the next.
    for (size_t i = 1; i < fds.size(); ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      Client& c = clients_[i - 1];
      unsigned char buf[4096];
      const ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
      if (n <= 0) {
        close_client(i - 1);
        break;
      }
      c.in.insert(c.in.end(), buf, buf + n);
      take_requests(c);
    }
    if (fds[0].revents & POLLIN) accept_client();
    if (!clients_.empty() && behaviour_.unsolicited_per_second > 0) send_unsolicited();
    send_due();
  }
}
