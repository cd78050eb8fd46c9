#include "apps/kpl-host/core/problem.h"

#include <algorithm>
#include <ctime>

namespace kplhost {

void Problem::set(std::string what, Clock::time_point now, Wall::time_point wall) {
  std::lock_guard<std::mutex> g(lock_);
  if (what_.empty()) {
    since_ = now;
    since_wall_ = wall;
  }
  what_ = std::move(what);
}

void Problem::clear() {
  std::lock_guard<std::mutex> g(lock_);
  what_.clear();
}

bool Problem::active() const {
  std::lock_guard<std::mutex> g(lock_);
  return !what_.empty();
}

std::string Problem::text(Clock::time_point now) const {
  std::lock_guard<std::mutex> g(lock_);
  if (what_.empty()) return "none";
  const std::time_t t = Wall::to_time_t(since_wall_);
  std::tm tm{};
  localtime_r(&t, &tm);
  char when[32];
  std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
  const auto lasted = std::chrono::duration_cast<std::chrono::seconds>(now - since_);
  return what_ + " since " + when + " (" + std::to_string(std::max<long long>(lasted.count(), 0)) +
         " s)";
}

}  // namespace kplhost
