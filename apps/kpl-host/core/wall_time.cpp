#include "apps/kpl-host/core/wall_time.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace kplhost {

std::string iso8601_time(std::chrono::system_clock::time_point t) {
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(t.time_since_epoch()).count();
  std::time_t secs = static_cast<std::time_t>(ms / 1000);
  long milli = static_cast<long>(ms % 1000);
  if (milli < 0) {
    milli += 1000;
    --secs;
  }
  std::tm tm{};
  localtime_r(&secs, &tm);
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &tm);
  const long offset = tm.tm_gmtoff / 60;
  char text[80];
  std::snprintf(text, sizeof text, "%s.%03ld%c%02ld:%02ld", date, milli, offset < 0 ? '-' : '+',
                std::labs(offset) / 60, std::labs(offset) % 60);
  return text;
}

}  // namespace kplhost
