// Pass times of one client, summarised.
#pragma once

#include <vector>

namespace qltbench {

struct PassStats {
  int count = 0;
  double median_us = 0, p10_us = 0, p90_us = 0, mean_us = 0;
};

PassStats summarize(std::vector<double> micros);

}  // namespace qltbench
