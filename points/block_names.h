// The per-block texts of the point evaluation: a UPS block's group label and
// battery point name and description, an air-conditioner block's label. Each
// is made the first time its block is evaluated and kept, so later rounds
// build no strings.
#pragma once

#include <string>
#include <vector>

class BlockNames {
 public:
  // "Number_<i+1>_UPS_Alarm_": labels count blocks from 1.
  const std::string& ups_label(int i) { return ups(i).label; }
  // "battery_<i>_value" and "第<i>电池总电压": battery points count from 0.
  const std::string& battery_name(int i) { return ups(i).battery_name; }
  const std::string& battery_desc(int i) { return ups(i).battery_desc; }
  // "空调<j+1>".
  const std::string& ac_label(int j);

 private:
  struct Ups {
    std::string label;
    std::string battery_name;
    std::string battery_desc;
  };
  const Ups& ups(int i);

  std::vector<Ups> ups_;
  std::vector<std::string> ac_;
};
