#include "host/ttime.h"

#include <boost/date_time/gregorian/gregorian_types.hpp>

ttime get_ttime(boost::posix_time::ptime t) {
  ttime out{};
  if (t.is_special()) return out;
  const auto date = t.date();
  const auto tod = t.time_of_day();
  const unsigned year = date.year();
  out.bytes[0] = static_cast<unsigned char>(year & 0xff);
  out.bytes[1] = static_cast<unsigned char>(year >> 8);
  out.bytes[2] = static_cast<unsigned char>(date.month());
  out.bytes[3] = static_cast<unsigned char>(date.day());
  out.bytes[4] = static_cast<unsigned char>(tod.hours());
  out.bytes[5] = static_cast<unsigned char>(tod.minutes());
  out.bytes[6] = static_cast<unsigned char>(tod.seconds());
  return out;
}
