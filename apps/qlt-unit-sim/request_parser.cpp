#include "apps/qlt-unit-sim/request_parser.h"

namespace qltsim {

namespace {

// The length field counts unit id and function code at least, and a frame
// is at most 260 bytes.
constexpr std::uint16_t min_length = 2;
constexpr std::uint16_t max_length = 254;

}  // namespace

void RequestParser::feed(const unsigned char* data, std::size_t n) {
  // Drop what earlier frames used before growing the buffer.
  buf_.erase(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(used_));
  used_ = 0;
  buf_.insert(buf_.end(), data, data + n);
}

std::optional<Request> RequestParser::next() {
  if (lost_ || buf_.size() - used_ < mbap_prefix) return std::nullopt;
  const std::uint16_t length = get_u16(buf_, used_ + 4);
  if (length < min_length || length > max_length) {
    lost_ = true;
    return std::nullopt;
  }
  if (buf_.size() - used_ < mbap_prefix + length) return std::nullopt;

  Request r;
  r.tid = get_u16(buf_, used_);
  r.proto = get_u16(buf_, used_ + 2);
  r.unit = buf_[used_ + mbap_prefix];
  r.func = buf_[used_ + mbap_prefix + 1];
  const auto body = buf_.begin() + static_cast<std::ptrdiff_t>(used_ + mbap_prefix + 2);
  r.body.assign(body, body + (length - 2));
  used_ += mbap_prefix + length;
  return r;
}

}  // namespace qltsim
