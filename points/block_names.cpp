#include "points/block_names.h"

#include <boost/lexical_cast.hpp>

namespace {

std::string decimal(int n) { return boost::lexical_cast<std::string>(n); }

}  // namespace

void BlockNames::prepare(int ups_count, int ac_count) {
  ups_.clear();
  ac_.clear();
  ups_.reserve(static_cast<size_t>(ups_count));
  ac_.reserve(static_cast<size_t>(ac_count));
  for (int i = 0; i < ups_count; ++i)
    ups_.push_back({"Number_" + decimal(i + 1) + "_UPS_Alarm_", "battery_" + decimal(i) + "_value",
                    "第" + decimal(i) + "电池总电压"});
  for (int j = 0; j < ac_count; ++j) ac_.push_back("空调" + decimal(j + 1));
}
