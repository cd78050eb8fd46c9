#include "apps/kpl-host/polling/tcp_transport.h"

#include <array>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>

#include "apps/kpl-host/polling/backoff.h"
#include "apps/kpl-host/polling/refresh.h"

namespace kplhost {

using boost::asio::ip::tcp;
using boost::system::error_code;

class Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(boost::asio::io_context& io, DeviceSlot& slot, HostEvents& events, DeviceCalls& calls,
             int handle, tcp::endpoint peer)
      : socket_(io),
        retry_(io),
        connect_timer_(io),
        slot_(slot),
        events_(events),
        calls_(calls),
        handle_(handle),
        peer_(peer),
        connect_timeout_(slot.config.connect_timeout_ms) {}

  void start() {
    boost::asio::post(socket_.get_executor(), [self = shared_from_this()] { self->connect(); });
  }

  // Called with the device's lock held, from inside a call into the device.
  // A request goes straight to the socket when nothing is queued before it;
  // what the socket does not take at once is written in order after it.
  int send(const unsigned char* data, unsigned int len) {
    if (closed_ || !slot_.connected) return -1;
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
      // The read side sees the closed socket and reconnects.
      socket_.close(ec);
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
    socket_.close(ec);
  }

 private:
  void connect() {
    if (closed_ || slot_.failed) return;
    timed_out_ = false;
    connecting_ = true;
    // A unit whose network drops the connection request would otherwise
    // leave the attempt hanging for minutes, unseen.
    connect_timer_.expires_after(connect_timeout_);
    connect_timer_.async_wait([self = shared_from_this()](const error_code& ec) {
      // A time-out already queued when the attempt ended is too late: the
      // connection it would close is up.
      if (ec || !self->connecting_) return;
      self->timed_out_ = true;
      error_code ignored;
      self->socket_.close(ignored);
    });
    socket_.async_connect(
        peer_, [self = shared_from_this()](const error_code& ec) { self->connected(ec); });
  }

  void connected(const error_code& ec) {
    connecting_ = false;
    connect_timer_.cancel();
    if (closed_) return;
    if (timed_out_)
      return lost("cannot connect to " + endpoint_text() + ": no answer within " +
                  std::to_string(connect_timeout_.count()) + " ms");
    if (ec) return lost("cannot connect to " + endpoint_text() + ": " + ec.message());
    error_code ignored;
    socket_.set_option(tcp::no_delay(true), ignored);
    socket_.non_blocking(true, ignored);
    backoff_.reset();
    {
      std::lock_guard<std::mutex> g(slot_.lock);
      KPLSocketDevice& dev = *slot_.device;
      dev.recv_len = 0;
      dev.link_ready = 1;
      slot_.connected = true;
      if (!slot_.failed) slot_.problem.clear();
      // The first pass starts as soon as the link is up, not a poll
      // interval later.
      calls_.run(slot_, "OnConnected", [&] { dev.OnConnected(handle_); }) &&
          refresh_status(slot_, calls_);
    }
    if (slot_.failed) return stop_for_good();
    events_.link(slot_, true, endpoint_text());
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
    if (ec) return lost("connection to " + endpoint_text() + " lost: " + ec.message());
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
      error_code ignored;
      if (!closed_) socket_.close(ignored);
      return;
    }
    if (!queued_.empty()) {
      writing_.swap(queued_);
      flush();
    }
  }

  // Marks the link down, forgets any partial frame, and tries again later.
  void lost(const std::string& why) {
    const bool was_up = slot_.connected.exchange(false);
    {
      std::lock_guard<std::mutex> g(slot_.lock);
      slot_.device->link_ready = 0;
      slot_.device->recv_len = 0;
      queued_.clear();
    }
    error_code ignored;
    socket_.close(ignored);
    if (!slot_.failed) slot_.problem.set(why);
    if (was_up) ++slot_.reconnects;
    const auto delay = backoff_.next();
    events_.link(slot_, false, why + "; retrying in " + std::to_string(delay.count()) + " ms");
    retry_.expires_after(delay);
    retry_.async_wait([self = shared_from_this()](const error_code& e) {
      if (!e) self->connect();
    });
  }

  std::string endpoint_text() const {
    return peer_.address().to_string() + ":" + std::to_string(peer_.port());
  }

  tcp::socket socket_;
  boost::asio::steady_timer retry_;
  boost::asio::steady_timer connect_timer_;
  DeviceSlot& slot_;
  HostEvents& events_;
  DeviceCalls& calls_;
  const int handle_;
  const tcp::endpoint peer_;
  const std::chrono::milliseconds connect_timeout_;
  bool timed_out_ = false;
  bool connecting_ = false;
  Backoff backoff_;
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
  const auto address = boost::asio::ip::make_address(ip, ec);
  if (ec) {
    slot.problem.set("bad address " + ip);
    return -1;
  }
  std::lock_guard<std::mutex> g(lock_);
  const int handle = static_cast<int>(connections_.size());
  auto c = std::make_shared<Connection>(io_, slot, events_, calls_, handle,
                                        tcp::endpoint(address, port));
  connections_.push_back(c);
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
