// Cuts the byte stream of a connection into request frames. Bytes may come
// in any pieces: a frame split over several reads, or several frames in one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "apps/qlt-unit-sim/wire.h"

namespace qltsim {

struct Request {
  std::uint16_t tid = 0;
  std::uint16_t proto = 0;
  std::uint8_t unit = 0;
  std::uint8_t func = 0;
  // Everything after the function code.
  Octets body;
};

class RequestParser {
 public:
  void feed(const unsigned char* data, std::size_t n);
  // The next complete frame, if the bytes so far hold one.
  std::optional<Request> next();
  // A header declared a length no frame can have: the stream cannot be
  // resynchronised and the connection should be dropped.
  bool lost() const { return lost_; }

 private:
  Octets buf_;
  std::size_t used_ = 0;
  bool lost_ = false;
};

}  // namespace qltsim
