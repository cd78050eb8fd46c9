// What a well-behaved unit answers to one request.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "apps/qlt-unit-sim/item_store.h"
#include "apps/qlt-unit-sim/request_parser.h"

namespace qltsim {

// The reply of unit `unit_id` to `req` from the items as they are at time t:
// the items asked for, or an exception reply. Frames of another protocol or
// for another unit get no reply.
std::optional<Reply> respond(const Request& req, std::uint8_t unit_id, const ItemStore& store,
                             std::chrono::milliseconds t);

}  // namespace qltsim
