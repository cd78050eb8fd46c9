// What a well-behaved unit answers to one request.
#pragma once

#include <chrono>
#include <optional>

#include "tools/unit_sim/item_store.h"
#include "tools/unit_sim/request_parser.h"

namespace qltsim {

// The reply to `req` from the items as they are at time t: the items asked
// for, or an exception reply. Frames of another protocol get no reply.
std::optional<Reply> respond(const Request& req, const ItemStore& store,
                             std::chrono::milliseconds t);

}  // namespace qltsim
