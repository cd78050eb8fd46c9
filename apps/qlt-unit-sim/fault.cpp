#include "apps/qlt-unit-sim/fault.h"

#include <algorithm>
#include <stdexcept>

namespace qltsim {

namespace {

void check(const Fault& f) {
  if (f.when.n < 1) throw std::invalid_argument("a fault schedule needs N >= 1");
  if (f.delay.count() < 0) throw std::invalid_argument("a fault delay cannot be negative");
}

}  // namespace

void FaultSet::set(std::vector<Fault> faults) {
  for (const Fault& f : faults) check(f);
  clear();
  for (Fault& f : faults) add(std::move(f));
}

void FaultSet::add(Fault f) {
  check(f);
  const int left = f.when.n;
  armed_.push_back(Armed{std::move(f), 0, left});
}

std::vector<Fault> FaultSet::take() {
  std::vector<Fault> hit;
  for (Armed& a : armed_) {
    ++a.seen;
    const Schedule& s = a.fault.when;
    const bool hits = s.kind == Schedule::every ||
                      (s.kind == Schedule::every_nth && a.seen % static_cast<unsigned>(s.n) == 0) ||
                      (s.kind == Schedule::next && a.left > 0);
    if (!hits) continue;
    if (s.kind == Schedule::next) --a.left;
    hit.push_back(a.fault);
  }
  armed_.erase(std::remove_if(armed_.begin(), armed_.end(),
                              [](const Armed& a) {
                                return a.fault.when.kind == Schedule::next && a.left == 0;
                              }),
               armed_.end());
  return hit;
}

}  // namespace qltsim
