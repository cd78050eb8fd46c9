// A process's simulated units: each listens on its own port, and one io
// thread serves them all.
//
//   qltsim::Simulator sim;
//   qltsim::UnitConfig cfg;
//   cfg.composition.ups = 1;
//   cfg.vary = false;
//   qltsim::Unit& unit = sim.add_unit(cfg);
//   sim.start();
//   connect to 127.0.0.1:unit.port() ...
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "apps/qlt-unit-sim/io_thread.h"
#include "apps/qlt-unit-sim/unit.h"

namespace qltsim {

// Not copyable, as its io thread is not.
class Simulator {
 public:
  ~Simulator() { stop(); }

  // Binds the unit's port at once; it is served once start() has run (or
  // at once if it has). Throws as Unit's constructor does. The unit lives
  // as long as the simulator.
  Unit& add_unit(UnitConfig cfg);
  std::size_t size() const { return units_.size(); }
  Unit& unit(std::size_t i) { return *units_.at(i); }

  void start() {
    if (!stopped_) io_.start();
  }
  // Closes every listener and connection and ends the io thread. A stopped
  // simulator does not start again.
  void stop();

 private:
  // Declared first, so that it outlives the units whose sockets use it.
  IoThread io_;
  std::vector<std::unique_ptr<Unit>> units_;
  bool stopped_ = false;
};

}  // namespace qltsim
