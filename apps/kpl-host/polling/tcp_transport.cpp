#include "apps/kpl-host/polling/tcp_transport.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <array>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <optional>

#include "apps/kpl-host/core/backoff.h"
#include "apps/kpl-host/core/endpoint_text.h"
#include "apps/kpl-host/polling/link_damper.h"
#include "apps/kpl-host/polling/refresh.h"

namespace kplhost {

using boost::asio::ip::tcp;
using boost::system::error_code;

namespace {

// A peer that vanishes without a word (a cut cable, a unit switched off) is
// found by the kernel: an idle connection is probed after 10 s, every 5 s,
// three times; sent bytes unacknowledged for 20 s end the connection.
constexpr int keepalive_idle_s = 10, keepalive_interval_s = 5, keepalive_probes = 3;
constexpr unsigned int user_timeout_ms = 20000;
// Request bytes waiting for a socket that does not take them, at the most:
// past this a request is refused rather than queued behind a dead peer.
constexpr size_t max_waiting_bytes = 64 * 1024;

void set_int(tcp::socket& s, int level, int name, int value) {
  ::setsockopt(s.native_handle(), level, name, &value, sizeof value);
}

}  // namespace

class Connection : public std::enable_shared_from_this<Connection> {
 public:
  // host: an address, or a name resolved at every attempt.
  Connection(boost::asio::io_context& io, DeviceSlot& slot, HostEvents& events, DeviceCalls& calls,
             int handle, const std::string& host, unsigned short port)
      : socket_(io),
        resolver_(io),
        retry_(io),
        connect_timer_(io),
        summary_timer_(io),
        slot_(slot),
        events_(events),
        calls_(calls),
        handle_(handle),
        host_(host),
        port_(port),
        connect_timeout_(slot.config.connect_timeout_ms) {
    error_code ec;
    const auto address = boost::asio::ip::make_address(host, ec);
    if (!ec) {
      address_ = address;
      host_ = address.to_string();
    }
  }

  void start() {
    boost::asio::post(socket_.get_executor(), [self = shared_from_this()] { self->connect(); });
  }

  // Called with the device's lock held, from inside a call into the device.
  // A request goes straight to the socket when nothing is queued before it;
  // what the socket does not take at once is written in order after it.
  int send(const unsigned char* data, unsigned int len) {
    if (closed_ || !slot_.connected) return -1;
    if (writing_.size() + queued_.size() + len > max_waiting_bytes) return -1;
    slot_.health.sent(len);
    if (!writing_.empty()) {
      queued_.insert(queued_.end(), data, data + len);
      return static_cast<int>(len);
    }
    error_code ec;
    size_t done = socket_.write_some(boost::asio::buffer(data, len), ec);
    if (ec == boost::asio::error::would_block) {
      done = 0;
    } else if (ec) {
      // The read side sees the closed socket and reconnects, saying why.
      fail_write(ec);
      return -1;
    }
    if (done < len) {
      writing_.assign(data + done, data + len);
      flush();
    }
    return static_cast<int>(len);
  }

  void close() {
    closed_ = true;
    error_code ec;
    retry_.cancel();
    connect_timer_.cancel();
    summary_timer_.cancel();
    resolver_.cancel();
    socket_.close(ec);
  }

  // Drops a connection that is up, at once and without a goodbye: requests
  // still in the kernel's queue are discarded, so that a peer that comes back
  // does not get them all in one burst. On the I/O thread.
  void drop(const std::string& why) {
    if (closed_ || !slot_.connected || !dropping_.empty()) return;
    dropping_ = "connection to " + endpoint_text(host_, port_) + " dropped: " + why;
    error_code ignored;
    socket_.set_option(boost::asio::socket_base::linger(true, 0), ignored);
    // The pending read ends with the close, and says why.
    socket_.close(ignored);
  }

 private:
  void connect() {
    if (closed_ || slot_.failed) return;
    timed_out_ = false;
    connecting_ = true;
    dropping_.clear();
    attempt_started_ = std::chrono::steady_clock::now();
    // A unit whose network drops the connection request would otherwise
    // leave the attempt hanging for minutes, unseen.
    connect_timer_.expires_after(connect_timeout_);
    connect_timer_.async_wait([self = shared_from_this()](const error_code& ec) {
      // A time-out already queued when the attempt ended is too late: the
      // connection it would close is up.
      if (ec || !self->connecting_) return;
      self->timed_out_ = true;
      error_code ignored;
      self->resolver_.cancel();
      self->socket_.close(ignored);
    });
    if (address_) return connect_to(tcp::endpoint(*address_, port_));
    // A name is looked up at every attempt, without holding up the I/O
    // thread: the unit's address may change, and a name server may be slow.
    resolver_.async_resolve(host_, std::to_string(port_),
                            [self = shared_from_this()](const error_code& ec,
                                                        const tcp::resolver::results_type& found) {
                              if (ec || found.empty()) return self->unresolved(ec);
                              self->connect_to(*found.begin());
                            });
  }

  void connect_to(const tcp::endpoint& peer) {
    if (closed_) return;
    socket_.async_connect(
        peer, [self = shared_from_this()](const error_code& ec) { self->connected(ec); });
  }

  void unresolved(const error_code& ec) {
    connecting_ = false;
    connect_timer_.cancel();
    if (closed_) return;
    if (timed_out_)
      return lost("cannot connect to " + endpoint_text(host_, port_) + ": cannot resolve " + host_ +
                      ": no answer within " + std::to_string(connect_timeout_.count()) + " ms",
                  true);
    lost("cannot connect to " + endpoint_text(host_, port_) + ": cannot resolve " + host_ + ": " +
         (ec ? ec.message() : std::string("no address")));
  }

  void connected(const error_code& ec) {
    connecting_ = false;
    connect_timer_.cancel();
    if (closed_) return;
    if (timed_out_)
      return lost("cannot connect to " + endpoint_text(host_, port_) + ": no answer within " +
                      std::to_string(connect_timeout_.count()) + " ms",
                  true);
    if (ec) return lost("cannot connect to " + endpoint_text(host_, port_) + ": " + ec.message());
    error_code ignored;
    socket_.set_option(tcp::no_delay(true), ignored);
    socket_.non_blocking(true, ignored);
    set_int(socket_, SOL_SOCKET, SO_KEEPALIVE, 1);
    set_int(socket_, IPPROTO_TCP, TCP_KEEPIDLE, keepalive_idle_s);
    set_int(socket_, IPPROTO_TCP, TCP_KEEPINTVL, keepalive_interval_s);
    set_int(socket_, IPPROTO_TCP, TCP_KEEPCNT, keepalive_probes);
    set_int(socket_, IPPROTO_TCP, TCP_USER_TIMEOUT, static_cast<int>(user_timeout_ms));
    // The back-off starts over only once this connection delivers a round: a
    // unit that accepts and then drops every connection is not asked faster.
    rounds_at_connect_ = slot_.published;
    {
      std::lock_guard<std::mutex> g(slot_.lock);
      KPLSocketDevice& dev = *slot_.device;
      dev.recv_len = 0;
      dev.link_ready = 1;
      slot_.connected = true;
      // The first pass starts as soon as the link is up, not a poll
      // interval later.
      calls_.run(slot_, "OnConnected", [&] { dev.OnConnected(handle_); }) &&
          refresh_status(slot_, calls_);
    }
    if (slot_.failed) return stop_for_good();
    say(true, endpoint_text(host_, port_));
    read();
  }

  // The device stopped: its connection goes, and is not made again.
  void stop_for_good() {
    slot_.connected = false;
    close();
  }

  void read() {
    socket_.async_read_some(
        boost::asio::buffer(buffer_),
        [self = shared_from_this()](const error_code& ec, size_t n) { self->received(ec, n); });
  }

  void received(const error_code& ec, size_t n) {
    if (closed_) return;
    if (ec)
      return lost(dropping_.empty()
                      ? "connection to " + endpoint_text(host_, port_) + " lost: " + ec.message()
                      : dropping_);
    slot_.health.received(n);
    {
      std::lock_guard<std::mutex> g(slot_.lock);
      calls_.run(slot_, "process",
                 [&] { slot_.device->process(handle_, buffer_.data(), static_cast<int>(n)); });
    }
    if (slot_.failed) return stop_for_good();
    read();
  }

  void flush() {
    boost::asio::async_write(
        socket_, boost::asio::buffer(writing_),
        [self = shared_from_this()](const error_code& ec, size_t) { self->flushed(ec); });
  }

  void flushed(const error_code& ec) {
    std::lock_guard<std::mutex> g(slot_.lock);
    writing_.clear();
    if (ec) {
      queued_.clear();
      if (!closed_) fail_write(ec);
      return;
    }
    if (!queued_.empty()) {
      writing_.swap(queued_);
      flush();
    }
  }

  // A write the peer refused ends the connection; the read it ends with
  // would only see the closed socket, so the write's reason is kept for it.
  void fail_write(const error_code& ec) {
    if (dropping_.empty())
      dropping_ = "connection to " + endpoint_text(host_, port_) + " lost: " + ec.message();
    error_code ignored;
    socket_.close(ignored);
  }

  // Marks the link down, forgets any partial frame, and tries again later.
  // An attempt that timed out has waited already: the back-off does not grow
  // for it, so that attempts go on every connect time-out through a cut and
  // the unit is polled again soon after the network heals.
  void lost(const std::string& why, bool timed_out = false) {
    const bool was_up = slot_.connected.exchange(false);
    {
      std::lock_guard<std::mutex> g(slot_.lock);
      slot_.device->link_ready = 0;
      slot_.device->recv_len = 0;
      queued_.clear();
    }
    slot_.health.link_down();
    error_code ignored;
    socket_.close(ignored);
    // The problem keeps the time it started until a round comes.
    if (!slot_.failed) {
      slot_.problem.set(why);
      slot_.link_problem = true;
    }
    if (was_up) ++slot_.reconnects;
    if (was_up && slot_.published > rounds_at_connect_) backoff_.reset();
    const auto delay = timed_out ? backoff_.current() : backoff_.next();
    // Counted from the attempt's start: the time it took is part of the wait.
    const auto now = std::chrono::steady_clock::now();
    const auto wait = std::max(
        std::chrono::milliseconds(0),
        std::chrono::duration_cast<std::chrono::milliseconds>(attempt_started_ + delay - now));
    say(false, why + "; retrying in " + std::to_string(wait.count()) + " ms");
    retry_.expires_after(wait);
    retry_.async_wait([self = shared_from_this()](const error_code& e) {
      if (!e) self->connect();
    });
  }

  // A link line, damped: a summary of what was held back comes first when
  // its minute is over, and at the latest when the minute ends.
  void say(bool up, const std::string& detail) {
    const auto now = std::chrono::steady_clock::now();
    say_summary(now);
    if (damper_.admit(up, detail, now)) events_.link(slot_, up, detail);
    if (!damper_.holding()) return;
    summary_timer_.expires_at(damper_.window_end());
    summary_timer_.async_wait([self = shared_from_this()](const error_code& ec) {
      if (!ec && !self->closed_) self->say_summary(std::chrono::steady_clock::now());
    });
  }

  void say_summary(std::chrono::steady_clock::time_point now) {
    if (auto line = damper_.summary(now)) events_.link(slot_, line->up, line->detail);
  }

  tcp::socket socket_;
  tcp::resolver resolver_;
  boost::asio::steady_timer retry_;
  boost::asio::steady_timer connect_timer_;
  boost::asio::steady_timer summary_timer_;
  DeviceSlot& slot_;
  HostEvents& events_;
  DeviceCalls& calls_;
  const int handle_;
  std::string host_;
  const unsigned short port_;
  std::optional<boost::asio::ip::address> address_;
  const std::chrono::milliseconds connect_timeout_;
  bool timed_out_ = false;
  bool connecting_ = false;
  std::chrono::steady_clock::time_point attempt_started_{};
  long rounds_at_connect_ = 0;
  // Why the connection is being dropped, on purpose or by a failed write,
  // until it is.
  std::string dropping_;
  LinkDamper damper_;
  // Reconnect delays: 500 ms after the first failure, up to 30 s, until a
  // round completes.
  Backoff backoff_{std::chrono::milliseconds(500), std::chrono::seconds(30)};
  std::array<unsigned char, KPLSocketDevice::recv_capacity> buffer_;
  // The bytes an asynchronous write is sending, and those that arrived while
  // it ran; both only touched under the device's lock.
  std::vector<unsigned char> writing_;
  std::vector<unsigned char> queued_;
  bool closed_ = false;
};

TcpTransport::TcpTransport(boost::asio::io_context& io, DeviceRegistry& registry,
                           HostEvents& events, DeviceCalls& calls)
    : io_(io), registry_(registry), events_(events), calls_(calls) {}

TcpTransport::~TcpTransport() = default;

int TcpTransport::StartSocket(KPLSocketDevice& dev, const std::string& ip, unsigned short port) {
  DeviceSlot& slot = registry_.of(dev);
  error_code ec;
  boost::asio::ip::make_address(ip, ec);
  if (ec && !is_host_name(ip)) {
    slot.problem.set("bad address " + ip);
    return -1;
  }
  std::lock_guard<std::mutex> g(lock_);
  const int handle = static_cast<int>(connections_.size());
  auto c = std::make_shared<Connection>(io_, slot, events_, calls_, handle, ip, port);
  connections_.push_back(c);
  std::weak_ptr<Connection> weak = c;
  slot.reopen_link = [this, weak](const std::string& why) {
    boost::asio::post(io_, [weak, why] {
      if (auto c = weak.lock()) c->drop(why);
    });
  };
  c->start();
  return handle;
}

std::shared_ptr<Connection> TcpTransport::find(int handle) {
  std::lock_guard<std::mutex> g(lock_);
  if (handle < 0 || handle >= static_cast<int>(connections_.size())) return nullptr;
  return connections_[static_cast<size_t>(handle)];
}

int TcpTransport::CloseSocket(KPLSocketDevice&, int handle) {
  if (auto c = find(handle)) {
    boost::asio::post(io_, [c] { c->close(); });
    return 0;
  }
  return -1;
}

int TcpTransport::Send(KPLSocketDevice&, int handle, const unsigned char* data, unsigned int len) {
  auto c = find(handle);
  return c ? c->send(data, len) : -1;
}

void TcpTransport::close_all() {
  std::lock_guard<std::mutex> g(lock_);
  for (auto& c : connections_) c->close();
}

}  // namespace kplhost
