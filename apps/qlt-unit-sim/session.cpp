#include "apps/qlt-unit-sim/session.h"

#include <boost/asio/buffer.hpp>
#include <boost/asio/write.hpp>

#include "apps/qlt-unit-sim/unit.h"

namespace qltsim {

using boost::asio::ip::tcp;

Session::Session(Unit& unit, tcp::socket socket)
    : unit_(unit), socket_(std::move(socket)), delay_(socket_.get_executor()) {}

void Session::start() {
  // Without this a split reply's one-byte writes would be gathered again.
  boost::system::error_code ec;
  socket_.set_option(tcp::no_delay(true), ec);
  read();
}

void Session::close() {
  if (closed_) return;
  closed_ = true;
  boost::system::error_code ec;
  socket_.shutdown(tcp::socket::shutdown_both, ec);
  socket_.close(ec);
  stop_timers();
}

void Session::reset() {
  if (closed_) return;
  closed_ = true;
  // No shutdown first: a FIN would leave this end in TIME_WAIT on the port.
  boost::system::error_code ec;
  socket_.set_option(tcp::socket::linger(true, 0), ec);
  socket_.close(ec);
  stop_timers();
}

void Session::stop_timers() {
  delay_.cancel();
  for (boost::asio::steady_timer& t : repeats_) t.cancel();
}

void Session::close_when_written() {
  closing_ = true;
  if (!writing_) close();
}

void Session::read() {
  socket_.async_read_some(boost::asio::buffer(in_), [this, self = shared_from_this()](
                                                        boost::system::error_code ec, size_t n) {
    if (closed_ || closing_) return;
    if (ec) return close();
    parser_.feed(in_.data(), n);
    while (auto req = parser_.next()) pending_.push_back(std::move(*req));
    answer_pending();
    if (parser_.lost()) return close_when_written();
    read();
  });
}

void Session::answer_pending() {
  while (!waiting_ && !closing_ && !closed_ && !pending_.empty()) {
    const Request req = std::move(pending_.front());
    pending_.pop_front();
    const ReplyPlan plan = unit_.serve(req);
    if (plan.delay.count() == 0) {
      deliver(plan);
      continue;
    }
    waiting_ = true;
    delay_.expires_after(plan.delay);
    delay_.async_wait([this, self = shared_from_this(), plan](boost::system::error_code ec) {
      waiting_ = false;
      if (ec || closed_) return;
      deliver(plan);
      answer_pending();
    });
  }
}

void Session::deliver(const ReplyPlan& plan) {
  if (plan.action == ReplyPlan::Action::drop) return;
  if (plan.action == ReplyPlan::Action::close) return close_when_written();
  if (plan.delivery == ReplyPlan::Delivery::coalesce && !held_) {
    held_ = plan;
    return;
  }
  Octets bytes = plan.bytes();
  if (held_) {
    const Octets first = held_->bytes();
    bytes.insert(bytes.begin(), first.begin(), first.end());
  }
  send(std::move(bytes), plan.delivery);
  if (held_) repeat_later(*held_);
  held_.reset();
  repeat_later(plan);
}

void Session::repeat_later(const ReplyPlan& plan) {
  if (!plan.repeat_after) return;
  const auto timer = repeats_.emplace(repeats_.end(), socket_.get_executor());
  timer->expires_after(*plan.repeat_after);
  timer->async_wait([this, self = shared_from_this(), timer, bytes = plan.bytes(),
                     how = plan.delivery](boost::system::error_code ec) {
    repeats_.erase(timer);
    if (ec || closed_ || closing_) return;
    send(bytes, how);
  });
}

void Session::send(Octets bytes, ReplyPlan::Delivery how) {
  if (how != ReplyPlan::Delivery::split) return queue_write(std::move(bytes));
  for (unsigned char b : bytes) queue_write(Octets{b});
}

void Session::queue_write(Octets chunk) {
  out_.push_back(std::move(chunk));
  if (!writing_) write_next();
}

void Session::write_next() {
  if (closed_) return;
  if (out_.empty()) {
    writing_ = false;
    if (closing_) close();
    return;
  }
  writing_ = true;
  boost::asio::async_write(socket_, boost::asio::buffer(out_.front()),
                           [this, self = shared_from_this()](boost::system::error_code ec, size_t) {
                             if (ec) return close();
                             unit_.count_write();
                             out_.pop_front();
                             write_next();
                           });
}

}  // namespace qltsim
