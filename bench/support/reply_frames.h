// Data replies for a model's request plan: one well-formed reply per batch,
// echoing its transaction id, as a well-behaved unit sends it.
#pragma once

#include <vector>

#include "link/frames.h"

namespace qltbench {

using Frame = std::vector<unsigned char>;

// requests as QLTModel::requests holds them, in wire order.
std::vector<Frame> replies_for(const std::vector<rdu_read>& requests);

}  // namespace qltbench
