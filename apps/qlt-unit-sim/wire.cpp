#include "apps/qlt-unit-sim/wire.h"

#include <cstring>
#include <stdexcept>

namespace qltsim {

void put_u16(Octets& out, std::uint16_t v) {
  out.push_back(static_cast<unsigned char>(v >> 8));
  out.push_back(static_cast<unsigned char>(v & 0xFF));
}

std::uint16_t get_u16(const Octets& in, std::size_t at) {
  if (at > in.size() || in.size() - at < 2) throw std::out_of_range("16-bit field past the end");
  return static_cast<std::uint16_t>((in[at] << 8) | in[at + 1]);
}

void put_item(Octets& out, float v) {
  std::uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  put_u16(out, static_cast<std::uint16_t>(bits & 0xFFFF));
  put_u16(out, static_cast<std::uint16_t>(bits >> 16));
}

float get_item(const Octets& in, std::size_t at) {
  if (at > in.size() || in.size() - at < item_bytes) throw std::out_of_range("item past the end");
  const std::uint32_t bits = get_u16(in, at) | (std::uint32_t{get_u16(in, at + 2)} << 16);
  float v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

Octets Reply::encode() const {
  Octets out;
  out.reserve(mbap_prefix + 2 + pdu.size());
  put_u16(out, tid);
  put_u16(out, 0);
  put_u16(out, static_cast<std::uint16_t>(2 + pdu.size()));
  out.push_back(unit);
  out.push_back(func);
  out.insert(out.end(), pdu.begin(), pdu.end());
  return out;
}

Reply Reply::data(std::uint16_t tid, std::uint8_t unit, const std::vector<float>& items) {
  if (items.size() > static_cast<std::size_t>(max_quantity))
    throw std::length_error("a reply carries at most 63 items");
  Reply r{tid, unit, fc_read_items, {static_cast<unsigned char>(items.size() * item_bytes)}};
  for (float v : items) put_item(r.pdu, v);
  return r;
}

Reply Reply::exception(std::uint16_t tid, std::uint8_t unit, std::uint8_t func, std::uint8_t code) {
  return Reply{tid, unit, static_cast<std::uint8_t>(func | exception_flag), {code}};
}

Reply Reply::error(std::uint16_t tid, std::uint8_t unit, std::uint8_t code) {
  return Reply{tid, unit, fc_error, {code}};
}

}  // namespace qltsim
