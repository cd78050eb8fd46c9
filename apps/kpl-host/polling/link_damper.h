// Link lines of one device, damped: a unit that accepts and then resets, or a
// gateway that closes every extra connection, would otherwise say the same
// two lines at every attempt, all day. Within a minute the first two lines of
// each kind go out (lines differing only in their numbers are of one kind), so
// a connection lost and made again once reads as it happened; the rest are
// counted, and at the end of the minute one line says how many there were:
// "reconnected 118 times in the last minute". While the storm lasts the next
// minutes say only that line; a quiet minute starts afresh.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>

namespace kplhost {

class LinkDamper {
 public:
  using Clock = std::chrono::steady_clock;
  struct Line {
    bool up;
    std::string detail;
  };

  explicit LinkDamper(Clock::duration window = std::chrono::minutes(1)) : window_(window) {}

  // Whether the line goes out now; one held back is counted for the summary.
  bool admit(bool up, const std::string& detail, Clock::time_point now);
  // Once the window that held lines back has ended: the line that says what
  // was held, as a link line of the state the last one was in.
  std::optional<Line> summary(Clock::time_point now);
  // When summary() has something to say; only meaningful while holding().
  Clock::time_point window_end() const { return start_ + window_; }
  bool holding() const { return held_ > 0; }

 private:
  const Clock::duration window_;
  bool open_ = false;
  bool storm_ = false;
  Clock::time_point start_{};
  // Lines of each kind said since the storm began.
  std::map<std::string, int> kinds_;
  long held_ = 0, ups_ = 0, downs_ = 0;
  Line last_{false, ""};
};

}  // namespace kplhost
