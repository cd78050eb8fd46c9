// Diagnostic lines limited per device and kind: a unit that floods the host
// with frames it did not ask for would otherwise fill the journal with one
// line per frame, and the journal's own rate limit would then drop the lines
// that matter. Lines that differ only in their numbers are of one kind; the
// first `per_window` of a kind in a minute pass as they are, the rest are
// counted, and when the minute ends one line says how many were suppressed.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kplhost {

class LineLimiter {
 public:
  using Clock = std::chrono::steady_clock;
  struct Summary {
    long device;  // the data id the lines named, or -1
    std::string kind;
    long suppressed;
  };

  explicit LineLimiter(long per_window = 20, Clock::duration window = std::chrono::minutes(1),
                       size_t max_kinds = 512)
      : per_window_(per_window), window_(window), max_kinds_(max_kinds) {}

  // Whether the line goes out; a line held back is counted for its summary.
  bool admit(std::string_view line, Clock::time_point now);
  // The summaries of the windows that ended by now (all of them when
  // `everything`, at the end), oldest kinds first.
  std::vector<Summary> due(Clock::time_point now, bool everything = false);
  // Lines of the data id held back in its current windows.
  long suppressed(long device) const;

  // The data id a line names ("... data_id:107 ..."), or -1.
  static long data_id_of(std::string_view line);
  // The line with every run of digits as one '#'.
  static std::string kind_of(std::string_view line);

 private:
  struct Window {
    Clock::time_point start;
    long passed = 0;
    long held = 0;
  };
  const long per_window_;
  const Clock::duration window_;
  const size_t max_kinds_;
  std::map<std::pair<long, std::string>, Window> windows_;
};

}  // namespace kplhost
