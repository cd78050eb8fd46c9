// The trends' first step, in memory: every analogue value of every round
// (the environment values, every battery voltage) goes into its point's
// aggregate of the current minute and of the current hour. take() hands
// over what was gathered since it was last called, finished or not, for
// the trend writer to add to the database in one transaction; a bucket
// handed over in parts is merged there again. Told of rounds on the worker
// thread, under a lock held only to add the round's values.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "apps/kpl-host/core/aggregate.h"
#include "apps/kpl-host/core/host_events.h"
#include "apps/kpl-host/core/wall_clock.h"

namespace kplhost {

struct TrendRow {
  unsigned int device_number = 0;
  std::string point;
  std::string desc;
  bool hourly = false;
  // The start of the minute or the hour, in seconds since 1970 (UTC).
  std::int64_t t = 0;
  Aggregate value;
};

class TrendRecorder final : public HostEvents {
 public:
  // Finished buckets that may wait for take(): ten minutes of 2,000 units'
  // points. Past it (the writer held up by a disk that does not answer) the
  // oldest are dropped and counted.
  static constexpr size_t waiting_rows = 300000;

  explicit TrendRecorder(WallClock clock = system_wall_clock()) : clock_(std::move(clock)) {}

  void round(const DeviceSlot& slot, const RoundSummary& summary) override;
  // Adds a round's analogue values at the time given.
  void add(unsigned int device_number, const std::vector<rule_value>& records, std::int64_t unix_s);
  // What was gathered since the last call: the minutes, the current one
  // too, and the hours that have ended; with `everything`, the current hour
  // too. (A part of an hour written every few minutes would write its page
  // each time; the hour is written once, and a crash loses at most its
  // hourly aggregate, never its minutes.)
  std::vector<TrendRow> take(bool everything = false);
  // What take() would hand over of one point, without taking it.
  std::vector<TrendRow> peek(unsigned int device_number, const std::string& point) const;
  long rows_dropped() const;

 private:
  struct Bucket {
    std::int64_t t = -1;
    Aggregate value;
  };
  struct Series {
    std::string name, desc;
    Bucket minute, hour;
    // The round it last took a value in: a point re-checked at the end of
    // a round is the same value again.
    std::uint64_t round = 0;
  };
  struct Device {
    std::vector<Series> series;
    // The series of the round's k-th analogue value, as last seen: points
    // come in the same order every round.
    std::vector<size_t> order;
    std::uint64_t rounds = 0;
  };
  Series& series_for(Device& d, size_t k, const rule_value& r);
  // Hands a bucket over to pending_ and empties it, if it holds anything.
  void hand_over(unsigned int device, const Series& s, bool hourly, Bucket& b);

  const WallClock clock_;
  mutable std::mutex lock_;
  std::unordered_map<unsigned int, Device> devices_;
  std::vector<TrendRow> pending_;
  long dropped_ = 0;
};

}  // namespace kplhost
