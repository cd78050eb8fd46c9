#include "points/point_text.h"

#include "points/ac_alarm_points.h"
#include "points/environment_points.h"
#include "points/ups_alarm_points.h"

namespace {

template <size_t N>
std::vector<PointText> texts_of(const AnaloguePoint (&rows)[N]) {
  std::vector<PointText> out;
  out.reserve(N);
  for (const AnaloguePoint& r : rows) out.push_back({r.name, {}, r.desc});
  return out;
}

template <size_t N>
std::vector<PointText> texts_of(const AlarmPoint (&rows)[N]) {
  std::vector<PointText> out;
  out.reserve(N);
  for (const AlarmPoint& r : rows) out.push_back({r.id, r.code, r.desc});
  return out;
}

}  // namespace

const std::vector<PointText>& environment_text() {
  static const std::vector<PointText> t = texts_of(environment_points);
  return t;
}

const std::vector<PointText>& ups_alarm_text() {
  static const std::vector<PointText> t = texts_of(ups_alarm_points);
  return t;
}

const std::vector<PointText>& ac_alarm_text() {
  static const std::vector<PointText> t = texts_of(ac_alarm_points);
  return t;
}
