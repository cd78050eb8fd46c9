// The per-block texts of the point evaluation: a UPS block's group label and
// battery point name and description, an air-conditioner block's label. All
// are made once, when the composition is known, so a round builds no strings
// and a string once handed to the host never moves.
#pragma once

#include <string>
#include <vector>

class BlockNames {
 public:
  // Makes the texts of ups_count UPS blocks and ac_count air-conditioner
  // blocks, replacing any made before.
  void prepare(int ups_count, int ac_count);

  // "Number_<i+1>_UPS_Alarm_": labels count blocks from 1.
  const std::string& ups_label(int i) const { return ups_[static_cast<size_t>(i)].label; }
  // "battery_<i>_value" and "第<i>电池总电压": battery points count from 0.
  const std::string& battery_name(int i) const { return ups_[static_cast<size_t>(i)].battery_name; }
  const std::string& battery_desc(int i) const { return ups_[static_cast<size_t>(i)].battery_desc; }
  // "空调<j+1>".
  const std::string& ac_label(int j) const { return ac_[static_cast<size_t>(j)]; }

 private:
  struct Ups {
    std::string label;
    std::string battery_name;
    std::string battery_desc;
  };
  std::vector<Ups> ups_;
  std::vector<std::string> ac_;
};
