// One client connection of a unit: reads request frames, answers them one
// at a time and in order, and writes the replies as the faults shape them.
// Lives on the io thread only.
#pragma once

#include <array>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <deque>
#include <list>
#include <memory>
#include <optional>

#include "apps/qlt-unit-sim/fault_effects.h"
#include "apps/qlt-unit-sim/request_parser.h"

namespace qltsim {

class Unit;

class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(Unit& unit, boost::asio::ip::tcp::socket socket);
  void start();
  void close();
  // Drops the connection with a reset, as a unit that restarts does: the
  // port is free to be bound again at once.
  void reset();

 private:
  void stop_timers();
  void close_when_written();
  void read();
  void answer_pending();
  void deliver(const ReplyPlan& plan);
  // Sends the plan's bytes again, written as the reply was, once its
  // repeat_after has passed; replies in between do not wait for it.
  void repeat_later(const ReplyPlan& plan);
  // Queues bytes as one write, or one write per byte for split delivery.
  void send(Octets bytes, ReplyPlan::Delivery how);
  void queue_write(Octets chunk);
  void write_next();

  Unit& unit_;
  boost::asio::ip::tcp::socket socket_;
  boost::asio::steady_timer delay_;
  std::array<unsigned char, 1024> in_{};
  RequestParser parser_;
  std::deque<Request> pending_;
  // A delayed reply is on its way; later requests wait behind it.
  bool waiting_ = false;
  // A coalesced reply, held until the next reply goes out with it.
  std::optional<ReplyPlan> held_;
  // One per reply whose copy is still to go; each removes itself when done.
  std::list<boost::asio::steady_timer> repeats_;
  // Each chunk is written by its own write call.
  std::deque<Octets> out_;
  bool writing_ = false;
  // The unit closes this connection once what is queued has been written.
  bool closing_ = false;
  bool closed_ = false;
};

}  // namespace qltsim
