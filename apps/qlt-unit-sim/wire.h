// The unit's replies as bytes on the wire. Every multi-byte field is
// big-endian; an item's float goes as its low 16-bit word first, then its
// high word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qltsim {

using Octets = std::vector<unsigned char>;

constexpr std::uint8_t fc_read_items = 3;
constexpr std::uint8_t fc_error = 0x90;
constexpr std::uint8_t exception_flag = 0x80;
// 63 items are 252 data bytes, the most a one-byte byte count can announce.
constexpr int max_quantity = 63;
constexpr int item_bytes = 4;
// Transaction id, protocol id and length: the bytes the length does not count.
constexpr std::size_t mbap_prefix = 6;

enum ExceptionCode : std::uint8_t {
  illegal_function = 1,
  illegal_data_address = 2,
  illegal_data_value = 3,
  device_failure = 4,
};

void put_u16(Octets& out, std::uint16_t v);
// Reads two bytes at `at`; throws std::out_of_range past the end.
std::uint16_t get_u16(const Octets& in, std::size_t at);

void put_item(Octets& out, float v);
// Reads the item whose four bytes start at `at`; throws std::out_of_range past the end.
float get_item(const Octets& in, std::size_t at);

// A reply before encoding, so that faults can bend it.
struct Reply {
  std::uint16_t tid = 0;
  std::uint8_t unit = 0;
  std::uint8_t func = 0;
  // Everything after the function code: byte count and items, or one code.
  Octets pdu;

  // The frame, with the length field counting the bytes really present.
  Octets encode() const;
  bool is_data() const { return func == fc_read_items && !pdu.empty(); }

  static Reply data(std::uint16_t tid, std::uint8_t unit, const std::vector<float>& items);
  static Reply exception(std::uint16_t tid, std::uint8_t unit, std::uint8_t func,
                         std::uint8_t code);
  static Reply error(std::uint16_t tid, std::uint8_t unit, std::uint8_t code);
};

}  // namespace qltsim
