// One simulated field unit: its values, its faults, its scenario, and the
// listener on its port. Every public method may be called from any thread
// while the simulator's io thread serves, except restart(), which must not
// race Simulator::stop().
#pragma once

#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "apps/qlt-unit-sim/fault.h"
#include "apps/qlt-unit-sim/fault_effects.h"
#include "apps/qlt-unit-sim/io_thread.h"
#include "apps/qlt-unit-sim/item_store.h"
#include "apps/qlt-unit-sim/request_parser.h"
#include "apps/qlt-unit-sim/unit_config.h"

namespace qltsim {

class Session;

class Unit {
 public:
  // Binds at once, so that port() is known before serving starts. Throws
  // ConfigError for a scenario naming points the unit lacks,
  // std::invalid_argument for an address that is not loopback, and
  // boost::system::system_error when the port cannot be bound.
  Unit(IoThread& io, UnitConfig cfg);
  ~Unit();
  Unit(const Unit&) = delete;
  Unit& operator=(const Unit&) = delete;

  unsigned short port() const { return port_; }
  int device_number() const { return cfg_.device_number; }
  const Composition& composition() const { return cfg_.composition; }
  long item_count() const { return cfg_.composition.items(); }

  // Values as a request would read them now; item() throws std::out_of_range.
  float item(long k) const;
  std::vector<float> items() const;

  // By point name (see point_names.h); throw PointError. A value set here
  // holds until something sets it again.
  void set(const std::string& point, float value);
  void raise(const std::string& point);
  void clear(const std::string& point);

  // Faults for the requests still to come: set_fault replaces all faults by
  // one. Throw std::invalid_argument for a schedule with N < 1.
  void set_fault(const Fault& f);
  void set_faults(std::vector<Fault> faults);
  void add_fault(const Fault& f);
  void clear_faults();

  // Request frames received, whatever the faults made of their replies and
  // whichever unit they were for.
  std::uint64_t requests_served() const;
  // Waits until at least n requests were served; false on timeout.
  bool wait_for_requests(std::uint64_t n, std::chrono::milliseconds timeout) const;
  std::uint64_t connections_accepted() const { return accepted_.load(); }
  // Completed socket writes: a split reply makes one per byte.
  std::uint64_t writes() const { return writes_.load(); }

  // Closes every connection and the listener, then listens again on the
  // same port, as the unit does when it restarts. Values and scenario go on.
  void restart();

 private:
  friend class Session;
  friend class Simulator;

  // These run on the io thread.
  void start_serving();
  void shutdown();
  void open_acceptor(unsigned short port);
  void accept(std::uint64_t generation);
  void close_sessions(bool reset = false);
  void tick();
  ReplyPlan serve(const Request& req);
  void count_write() { ++writes_; }

  // Fires the scenario steps that are due, then tells on_step about them.
  void catch_up() const;
  std::chrono::milliseconds now() const { return cfg_.clock->elapsed(); }
  // Runs f on the store, brought up to date, under the lock.
  template <class F>
  auto with_store(F&& f) const {
    catch_up();
    std::lock_guard<std::mutex> lock(mutex_);
    return f(store_);
  }

  IoThread& io_;
  UnitConfig cfg_;
  boost::asio::ip::tcp::acceptor acceptor_;
  boost::asio::steady_timer tick_;
  unsigned short port_ = 0;
  // Bumped by restart, so that an accept begun before it is not served.
  std::uint64_t generation_ = 0;
  std::vector<std::weak_ptr<Session>> sessions_;

  mutable std::mutex mutex_;
  mutable std::condition_variable served_cv_;
  // Reads fire due scenario steps first, so the store changes under const.
  mutable ItemStore store_;
  mutable std::size_t next_step_ = 0;
  FaultSet faults_;
  std::uint64_t served_ = 0;
  std::atomic<std::uint64_t> accepted_{0};
  std::atomic<std::uint64_t> writes_{0};
};

}  // namespace qltsim
