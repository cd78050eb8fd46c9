// The trends of the analogue points as the view asks for them: for one
// device's point over the last day, week or year, the least, mean and
// greatest value of each step of time. Answered off the I/O thread, by the
// thread that keeps the trends; the answer comes through `done`, once.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "apps/kpl-host/core/aggregate.h"

namespace kplhost {

// A range the page offers, with the step its samples are merged into: a
// plot of a thousand or so points, whatever the range.
struct TrendRange {
  const char* name;  // "24h", "7d", "1y"
  std::int64_t span_s;
  std::int64_t step_s;
  // Read from the hourly aggregates, not the minute ones.
  bool hourly;
};
constexpr TrendRange trend_ranges[] = {
    {"24h", 86400, 60, false},
    {"7d", 7 * 86400, 600, false},
    {"1y", 365 * 86400, 6 * 3600, true},
};
std::optional<TrendRange> trend_range(const std::string& name);

struct TrendSample {
  // The start of the step, in seconds since 1970 (UTC).
  std::int64_t t = 0;
  Aggregate value;
};

struct TrendAnswer {
  enum Outcome { ok, unknown, busy, failed };
  Outcome outcome = ok;
  // Why it is not ok.
  std::string detail;
  std::string desc;
  // The range asked for, steps aligned: [from, to).
  std::int64_t from = 0, to = 0;
  std::vector<TrendSample> samples;
};

struct TrendQuery {
  unsigned int device_number = 0;
  std::string point;
  TrendRange range;
};

class TrendSource {
 public:
  virtual ~TrendSource() = default;
  virtual void query(TrendQuery q, std::function<void(TrendAnswer)> done) = 0;
};

}  // namespace kplhost
