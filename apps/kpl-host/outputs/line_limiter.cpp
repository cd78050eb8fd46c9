#include "apps/kpl-host/outputs/line_limiter.h"

#include <cctype>
#include <cstdlib>

namespace kplhost {

long LineLimiter::data_id_of(std::string_view line) {
  constexpr std::string_view key = "data_id:";
  const size_t at = line.find(key);
  if (at == std::string_view::npos) return -1;
  long id = 0;  // nine digits at most: fits a 32-bit long
  size_t i = at + key.size();
  if (i >= line.size() || !std::isdigit(static_cast<unsigned char>(line[i]))) return -1;
  for (; i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])) && id < 100000000L;
       ++i)
    id = id * 10 + (line[i] - '0');
  return id;
}

std::string LineLimiter::kind_of(std::string_view line) {
  std::string k;
  k.reserve(line.size());
  for (const char c : line) {
    const bool digit = std::isdigit(static_cast<unsigned char>(c)) != 0;
    if (!digit || k.empty() || k.back() != '#') k += digit ? '#' : c;
  }
  return k;
}

bool LineLimiter::admit(std::string_view line, Clock::time_point now) {
  const long device = data_id_of(line);
  std::string kind = kind_of(line);
  auto it = windows_.find({device, kind});
  if (it == windows_.end()) {
    // Bounded: past the limit of kinds, the rest of a device's lines are one
    // kind of their own.
    if (windows_.size() >= max_kinds_) kind = "(lines of other kinds)";
    it = windows_.emplace(std::make_pair(device, std::move(kind)), Window{now}).first;
  }
  Window& w = it->second;
  if (now - w.start >= window_ && w.held == 0) w = Window{now};
  if (w.passed < per_window_) {
    ++w.passed;
    return true;
  }
  ++w.held;
  return false;
}

std::vector<LineLimiter::Summary> LineLimiter::due(Clock::time_point now, bool everything) {
  std::vector<Summary> out;
  for (auto it = windows_.begin(); it != windows_.end();) {
    Window& w = it->second;
    if (!everything && now - w.start < window_) {
      ++it;
      continue;
    }
    if (w.held > 0) out.push_back({it->first.first, it->first.second, w.held});
    // A kind quiet for a whole window is forgotten; one still flooding
    // starts its next window now.
    if (w.held == 0) {
      it = windows_.erase(it);
      continue;
    }
    w = Window{now};
    ++it;
  }
  return out;
}

long LineLimiter::suppressed(long device) const {
  long n = 0;
  for (const auto& [key, w] : windows_)
    if (key.first == device) n += w.held;
  return n;
}

}  // namespace kplhost
