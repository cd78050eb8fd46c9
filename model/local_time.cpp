#include "model/local_time.h"

#include <boost/date_time/gregorian/gregorian_types.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>

// Stamps must not wrap in 2038: a 32-bit platform builds with _TIME_BITS=64.
static_assert(sizeof(std::time_t) >= 8, "time_t must hold moments past 2038");

boost::posix_time::ptime local_time_at(std::time_t t) {
  using namespace boost::posix_time;
  std::tm tm{};
  if (localtime_r(&t, &tm) == nullptr) return ptime(not_a_date_time);
  const long year = tm.tm_year + 1900L;
  // Beyond these years the calendar types throw.
  if (year < 1400 || year > 9999) return ptime(not_a_date_time);
  const boost::gregorian::date day(static_cast<unsigned short>(year),
                                   static_cast<unsigned short>(tm.tm_mon + 1),
                                   static_cast<unsigned short>(tm.tm_mday));
  return ptime(day, time_duration(tm.tm_hour, tm.tm_min, tm.tm_sec));
}
