#include "apps/qlt-unit-sim/unit.h"

#include <algorithm>
#include <boost/asio/ip/address.hpp>
#include <stdexcept>

#include "apps/qlt-unit-sim/responder.h"
#include "apps/qlt-unit-sim/session.h"

namespace qltsim {

namespace {

using boost::asio::ip::tcp;

// How often the io thread looks for due scenario steps.
constexpr std::chrono::milliseconds tick_period{100};

}  // namespace

Unit::Unit(IoThread& io, UnitConfig cfg)
    : io_(io),
      cfg_(std::move(cfg)),
      acceptor_(io.context()),
      tick_(io.context()),
      store_(cfg_.composition, cfg_.vary) {
  cfg_.scenario.check(cfg_.composition);
  faults_.set(cfg_.faults);
  if (!cfg_.clock) cfg_.clock = std::make_shared<SteadyClock>();
  open_acceptor(cfg_.port);
}

Unit::~Unit() = default;

void Unit::open_acceptor(unsigned short port) {
  const auto address = boost::asio::ip::make_address(cfg_.bind_address);
  if (!address.is_loopback())
    throw std::invalid_argument("a simulated unit listens on loopback addresses only, not " +
                                cfg_.bind_address);
  const tcp::endpoint endpoint(address, port);
  acceptor_.open(endpoint.protocol());
  acceptor_.set_option(tcp::acceptor::reuse_address(true));
  acceptor_.bind(endpoint);
  acceptor_.listen();
  port_ = acceptor_.local_endpoint().port();
}

void Unit::start_serving() {
  accept(generation_);
  if (!cfg_.scenario.empty()) tick();
}

void Unit::accept(std::uint64_t generation) {
  acceptor_.async_accept([this, generation](boost::system::error_code ec, tcp::socket socket) {
    if (generation != generation_ || ec == boost::asio::error::operation_aborted) return;
    if (!ec) {
      ++accepted_;
      auto session = std::make_shared<Session>(*this, std::move(socket));
      sessions_.erase(std::remove_if(sessions_.begin(), sessions_.end(),
                                     [](const std::weak_ptr<Session>& s) { return s.expired(); }),
                      sessions_.end());
      sessions_.push_back(session);
      session->start();
    }
    accept(generation);
  });
}

void Unit::close_sessions(bool reset) {
  for (const auto& weak : sessions_)
    if (auto s = weak.lock()) reset ? s->reset() : s->close();
  sessions_.clear();
}

void Unit::shutdown() {
  ++generation_;
  boost::system::error_code ec;
  acceptor_.close(ec);
  tick_.cancel();
  close_sessions();
}

void Unit::restart() {
  io_.call([this] {
    ++generation_;
    boost::system::error_code ec;
    acceptor_.close(ec);
    close_sessions(true);
    open_acceptor(port_);
    accept(generation_);
  });
}

void Unit::tick() {
  catch_up();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (next_step_ >= cfg_.scenario.steps().size()) return;
  }
  tick_.expires_after(tick_period);
  tick_.async_wait([this](boost::system::error_code ec) {
    if (!ec) tick();
  });
}

void Unit::catch_up() const {
  std::vector<ScenarioStep> fired;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto& steps = cfg_.scenario.steps();
    const auto t = now();
    for (; next_step_ < steps.size() && steps[next_step_].at <= t; ++next_step_) {
      steps[next_step_].apply(store_);
      fired.push_back(steps[next_step_]);
    }
  }
  if (cfg_.on_step)
    for (const ScenarioStep& s : fired) cfg_.on_step(s);
}

ReplyPlan Unit::serve(const Request& req) {
  catch_up();
  std::optional<Reply> reply;
  std::vector<Fault> hit;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    reply = respond(req, cfg_.unit_id, store_, now());
    if (reply) hit = faults_.take();
    ++served_;
  }
  served_cv_.notify_all();
  return plan_reply(reply, req.func, hit);
}

float Unit::item(long k) const {
  return with_store([&](ItemStore& s) { return s.at(k, now()); });
}

std::vector<float> Unit::items() const {
  return with_store([&](ItemStore& s) { return s.range(0, s.size(), now()); });
}

void Unit::set(const std::string& point, float value) {
  with_store([&](ItemStore& s) { s.set(point, value); });
}

void Unit::raise(const std::string& point) {
  with_store([&](ItemStore& s) { s.raise(point); });
}

void Unit::clear(const std::string& point) {
  with_store([&](ItemStore& s) { s.clear(point); });
}

void Unit::set_fault(const Fault& f) { set_faults({f}); }

void Unit::set_faults(std::vector<Fault> faults) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.set(std::move(faults));
}

void Unit::add_fault(const Fault& f) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.add(f);
}

void Unit::clear_faults() {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.clear();
}

std::uint64_t Unit::requests_served() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return served_;
}

bool Unit::wait_for_requests(std::uint64_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return served_cv_.wait_for(lock, timeout, [&] { return served_ >= n; });
}

}  // namespace qltsim
