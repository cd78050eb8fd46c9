// The texts of the point tables as strings, made once per process, so that a
// round hands the host references to strings that already exist instead of
// building hundreds of them.
#pragma once

#include <string>
#include <vector>

struct PointText {
  std::string name;  // data key or alarm id
  std::string code;  // empty for an analogue point
  std::string desc;
};

const std::vector<PointText>& environment_text();
const std::vector<PointText>& ups_alarm_text();
const std::vector<PointText>& ac_alarm_text();
