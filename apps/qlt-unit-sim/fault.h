// Ways a unit can misbehave, and which requests they hit. A fault applies to
// every request, to every Nth request, or to the next N requests; several
// faults may hit the same request and then act together.
#pragma once

#include <chrono>
#include <cstdint>
#include <iterator>
#include <vector>

#include "apps/qlt-unit-sim/wire.h"

namespace qltsim {

// In the order their effects are applied to a reply.
enum class FaultMode {
  exception,    // answer with an exception reply (function | 0x80)
  error,        // answer with the 9-byte error reply, function 0x90
  short_reply,  // fewer items than asked, byte count telling the truth
  lying_count,  // fewer items than asked, byte count claiming them all
  wrong_tid,    // another transaction id than the request's
  junk,         // junk bytes before the reply
  delay,        // answer late
  // A serial gateway in front of the unit: it takes up one request at a time,
  // in arrival order, and its reply goes out `delay` after it took it up. The
  // session already holds later requests behind a late reply, so this acts
  // as delay does; it is a mode of its own so that configurations say what
  // they model.
  gateway,
  split,           // one byte per write
  coalesce,        // hold the reply and send it in one write with the next
  late_duplicate,  // send the same reply bytes again, `delay` after they went
  drop,            // no answer
  close,           // close the connection instead of answering
  mute,            // no answer to anything, whatever else hits the request
};

struct Schedule {
  enum Kind { every, every_nth, next };
  Kind kind = every;
  int n = 1;

  static Schedule always() { return {every, 1}; }
  // Requests N, 2N, 3N... counted from when the fault was set.
  static Schedule every_nth_request(int n) { return {every_nth, n}; }
  // The next N requests, then never again.
  static Schedule next_requests(int n) { return {next, n}; }
};

inline constexpr unsigned char default_junk[] = {0xDE, 0xAD, 0xBE, 0xEF};

struct Fault {
  Fault() = default;
  explicit Fault(FaultMode m, Schedule w = Schedule::always()) : mode(m), when(w) {}

  FaultMode mode = FaultMode::drop;
  Schedule when;
  // delay, gateway: how long to wait before answering; late_duplicate: how
  // long after the reply its copy goes.
  std::chrono::milliseconds delay{0};
  // exception, error: the code byte; 0 takes device failure (4).
  std::uint8_t code = 0;
  // short_reply, lying_count: items left out at the end.
  int missing_items = 1;
  // junk: sent before the reply.
  Octets junk = Octets(std::begin(default_junk), std::end(default_junk));
};

// The faults set on a unit and how far each has run. Not thread-safe.
class FaultSet {
 public:
  // Each throws std::invalid_argument for a schedule with N < 1.
  void set(std::vector<Fault> faults);
  void add(Fault f);
  void clear() { armed_.clear(); }

  // Counts one more request and returns the faults that hit it.
  std::vector<Fault> take();

 private:
  struct Armed {
    Fault fault;
    std::uint64_t seen = 0;
    int left = 0;
  };
  std::vector<Armed> armed_;
};

}  // namespace qltsim
