#include "apps/qlt-unit-sim/simulator.h"

#include <boost/asio/post.hpp>
#include <stdexcept>

namespace qltsim {

Unit& Simulator::add_unit(UnitConfig cfg) {
  if (stopped_) throw std::logic_error("the simulator has stopped");
  units_.push_back(std::make_unique<Unit>(io_, std::move(cfg)));
  Unit& unit = *units_.back();
  boost::asio::post(io_.context(), [&unit] { unit.start_serving(); });
  return unit;
}

void Simulator::stop() {
  if (stopped_) return;
  stopped_ = true;
  io_.call([this] {
    for (auto& u : units_) u->shutdown();
  });
  io_.stop();
}

}  // namespace qltsim
