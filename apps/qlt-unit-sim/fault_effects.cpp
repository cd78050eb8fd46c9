#include "apps/qlt-unit-sim/fault_effects.h"

#include <algorithm>

namespace qltsim {

namespace {

std::uint8_t code_or_default(const Fault& f) {
  return f.code != 0 ? f.code : std::uint8_t{device_failure};
}

// Drops the last items' bytes of a data reply; `honest` keeps the byte count
// in step with them.
void cut_items(ReplyPlan& p, const Fault& f, bool honest) {
  if (!p.reply.is_data()) return;
  Octets& pdu = p.reply.pdu;
  const std::size_t carried = pdu.size() - 1;
  const std::size_t cut = std::min(carried, static_cast<std::size_t>(f.missing_items) * item_bytes);
  pdu.resize(pdu.size() - cut);
  if (honest) pdu[0] = static_cast<unsigned char>(carried - cut);
}

void add_delay(ReplyPlan& p, const Fault& f, std::uint8_t) { p.delay += f.delay; }

struct ModeRow {
  FaultMode mode;
  const char* name;
  void (*apply)(ReplyPlan& p, const Fault& f, std::uint8_t func);
};

const ModeRow mode_rows[] = {
    {FaultMode::exception, "exception",
     [](ReplyPlan& p, const Fault& f, std::uint8_t func) {
       p.reply = Reply::exception(p.reply.tid, p.reply.unit, func, code_or_default(f));
     }},
    {FaultMode::error, "error",
     [](ReplyPlan& p, const Fault& f, std::uint8_t) {
       p.reply = Reply::error(p.reply.tid, p.reply.unit, code_or_default(f));
     }},
    {FaultMode::short_reply, "short",
     [](ReplyPlan& p, const Fault& f, std::uint8_t) { cut_items(p, f, true); }},
    {FaultMode::lying_count, "lying_count",
     [](ReplyPlan& p, const Fault& f, std::uint8_t) { cut_items(p, f, false); }},
    {FaultMode::wrong_tid, "wrong_tid",
     [](ReplyPlan& p, const Fault&, std::uint8_t) { ++p.reply.tid; }},
    {FaultMode::junk, "junk",
     [](ReplyPlan& p, const Fault& f, std::uint8_t) {
       p.prefix.insert(p.prefix.end(), f.junk.begin(), f.junk.end());
     }},
    {FaultMode::delay, "delay_ms", add_delay},
    {FaultMode::gateway, "gateway", add_delay},
    {FaultMode::split, "split",
     [](ReplyPlan& p, const Fault&, std::uint8_t) { p.delivery = ReplyPlan::Delivery::split; }},
    {FaultMode::coalesce, "coalesce",
     [](ReplyPlan& p, const Fault&, std::uint8_t) { p.delivery = ReplyPlan::Delivery::coalesce; }},
    {FaultMode::late_duplicate, "late_duplicate",
     [](ReplyPlan& p, const Fault& f, std::uint8_t) { p.repeat_after = f.delay; }},
    {FaultMode::drop, "drop",
     [](ReplyPlan& p, const Fault&, std::uint8_t) { p.action = ReplyPlan::Action::drop; }},
    {FaultMode::close, "close",
     [](ReplyPlan& p, const Fault&, std::uint8_t) { p.action = ReplyPlan::Action::close; }},
    // Last, so that no other fault can bring an answer back.
    {FaultMode::mute, "mute",
     [](ReplyPlan& p, const Fault&, std::uint8_t) { p.action = ReplyPlan::Action::drop; }},
};

const ModeRow& row_of(FaultMode m) {
  for (const ModeRow& r : mode_rows)
    if (r.mode == m) return r;
  return mode_rows[0];
}

}  // namespace

Octets ReplyPlan::bytes() const {
  Octets out = prefix;
  const Octets frame = reply.encode();
  out.insert(out.end(), frame.begin(), frame.end());
  return out;
}

ReplyPlan plan_reply(const std::optional<Reply>& reply, std::uint8_t func,
                     const std::vector<Fault>& faults) {
  ReplyPlan p;
  if (!reply) {
    p.action = ReplyPlan::Action::drop;
    return p;
  }
  p.reply = *reply;
  std::vector<Fault> ordered = faults;
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const Fault& a, const Fault& b) { return a.mode < b.mode; });
  for (const Fault& f : ordered) row_of(f.mode).apply(p, f, func);
  return p;
}

const char* fault_mode_name(FaultMode m) { return row_of(m).name; }

std::optional<FaultMode> fault_mode_named(const std::string& name) {
  for (const ModeRow& r : mode_rows)
    if (name == r.name) return r.mode;
  return std::nullopt;
}

std::string fault_mode_names() {
  std::string out;
  for (const ModeRow& r : mode_rows) out += std::string(out.empty() ? "" : ", ") + r.name;
  return out;
}

}  // namespace qltsim
