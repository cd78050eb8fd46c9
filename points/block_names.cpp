#include "points/block_names.h"

#include <boost/lexical_cast.hpp>

namespace {

std::string decimal(int n) { return boost::lexical_cast<std::string>(n); }

}  // namespace

const BlockNames::Ups& BlockNames::ups(int i) {
  while (static_cast<int>(ups_.size()) <= i) {
    const int k = static_cast<int>(ups_.size());
    ups_.push_back({"Number_" + decimal(k + 1) + "_UPS_Alarm_", "battery_" + decimal(k) + "_value",
                    "第" + decimal(k) + "电池总电压"});
  }
  return ups_[static_cast<size_t>(i)];
}

const std::string& BlockNames::ac_label(int j) {
  while (static_cast<int>(ac_.size()) <= j) ac_.push_back("空调" + decimal(static_cast<int>(ac_.size()) + 1));
  return ac_[static_cast<size_t>(j)];
}
