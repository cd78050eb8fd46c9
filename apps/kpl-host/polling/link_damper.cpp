#include "apps/kpl-host/polling/link_damper.h"

#include <cctype>

namespace kplhost {

namespace {

// "retrying in 500 ms" and "retrying in 1000 ms" are one kind of line.
std::string kind_of(bool up, const std::string& detail) {
  std::string k = up ? "up " : "down ";
  for (const char c : detail) {
    const bool digit = std::isdigit(static_cast<unsigned char>(c)) != 0;
    if (!digit || k.back() != '#') k += digit ? '#' : c;
  }
  return k;
}

}  // namespace

bool LinkDamper::admit(bool up, const std::string& detail, Clock::time_point now) {
  if (!open_ || now >= window_end()) {
    // A window that held nothing back, or a quiet minute, ends the storm:
    // its kinds are new again.
    if (!storm_ || now >= window_end() + window_) kinds_.clear();
    storm_ = false;
    open_ = true;
    start_ = now;
    ups_ = downs_ = 0;
  }
  ++(up ? ups_ : downs_);
  last_ = {up, detail};
  // Two of a kind: the drop and the reconnection of a link that failed once
  // go out whole, and a storm is told from the third on.
  if (++kinds_[kind_of(up, detail)] <= 2) return true;
  ++held_;
  return false;
}

std::optional<LinkDamper::Line> LinkDamper::summary(Clock::time_point now) {
  if (held_ == 0 || now < window_end()) return std::nullopt;
  const std::string what = ups_ > 0 ? "reconnected " + std::to_string(ups_) + " times"
                                    : "could not connect " + std::to_string(downs_) + " times";
  Line line{last_.up, last_.up ? last_.detail + " (" + what + " in the last minute)"
                               : what + " in the last minute; last: " + last_.detail};
  held_ = 0;
  // The storm's kinds stay known: while it lasts, each minute says only this.
  storm_ = true;
  open_ = false;
  return line;
}

}  // namespace kplhost
