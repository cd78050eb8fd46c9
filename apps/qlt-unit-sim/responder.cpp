#include "apps/qlt-unit-sim/responder.h"

namespace qltsim {

std::optional<Reply> respond(const Request& req, std::uint8_t unit_id, const ItemStore& store,
                             std::chrono::milliseconds t) {
  if (req.proto != 0 || req.unit != unit_id) return std::nullopt;
  const auto refuse = [&](std::uint8_t code) {
    return Reply::exception(req.tid, req.unit, req.func, code);
  };
  if (req.func != fc_read_items) return refuse(illegal_function);
  if (req.body.size() != 4) return refuse(illegal_data_value);

  const long start = get_u16(req.body, 0);
  const long quantity = get_u16(req.body, 2);
  if (quantity < 1 || quantity > max_quantity || start + quantity > store.size())
    return refuse(illegal_data_address);
  return Reply::data(req.tid, req.unit, store.range(start, quantity, t));
}

}  // namespace qltsim
