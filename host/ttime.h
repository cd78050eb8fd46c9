// The host's packed local date and time, as devices stamp it into images.
#pragma once

#include <boost/date_time/posix_time/posix_time_types.hpp>

// Seven bytes, no padding, the same on every platform:
//   0-1  year, little-endian (2026 is EA 07)
//   2    month 1-12
//   3    day of month 1-31
//   4    hour 0-23
//   5    minute 0-59
//   6    second 0-59
// A time that is not a date (not_a_date_time, infinities) packs as seven zeros.
struct ttime {
  unsigned char bytes[7];
};
static_assert(sizeof(ttime) == 7, "ttime is a wire record");

ttime get_ttime(boost::posix_time::ptime t);
