#include "apps/qlt-unit-sim/clock.h"

namespace qltsim {

std::chrono::milliseconds SteadyClock::elapsed() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start_);
}

}  // namespace qltsim
