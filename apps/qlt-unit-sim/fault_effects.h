// What the faults that hit a request make of its reply: the bytes, when they
// go, how they are written, or that nothing goes at all.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "apps/qlt-unit-sim/fault.h"
#include "apps/qlt-unit-sim/wire.h"

namespace qltsim {

struct ReplyPlan {
  enum class Action { send, drop, close };
  enum class Delivery { whole, split, coalesce };

  Action action = Action::send;
  Delivery delivery = Delivery::whole;
  std::chrono::milliseconds delay{0};
  // When set, the same bytes are sent again this long after the reply.
  std::optional<std::chrono::milliseconds> repeat_after;
  Octets prefix;
  Reply reply;

  Octets bytes() const;
};

// `reply` is the well-behaved answer to a request with function code `func`;
// with no reply (a frame to ignore) the plan is to drop.
ReplyPlan plan_reply(const std::optional<Reply>& reply, std::uint8_t func,
                     const std::vector<Fault>& faults);

// The names the configuration uses: "split", "delay_ms", "short", ...
const char* fault_mode_name(FaultMode m);
std::optional<FaultMode> fault_mode_named(const std::string& name);
// Every name, comma-separated, for messages.
std::string fault_mode_names();

}  // namespace qltsim
