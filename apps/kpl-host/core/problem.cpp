#include "apps/kpl-host/core/problem.h"

#include <ctime>

namespace kplhost {

void Problem::set(std::string what) {
  std::lock_guard<std::mutex> g(lock_);
  if (what_.empty()) since_ = Clock::now();
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

std::string Problem::text() const {
  std::lock_guard<std::mutex> g(lock_);
  if (what_.empty()) return "none";
  const std::time_t t = Clock::to_time_t(since_);
  std::tm tm{};
  localtime_r(&t, &tm);
  char when[32];
  std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
  const auto lasted = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - since_);
  return what_ + " since " + when + " (" + std::to_string(lasted.count()) + " s)";
}

}  // namespace kplhost
