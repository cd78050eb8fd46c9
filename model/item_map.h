// The unit's item map: a base block of environment sensors, then the UPS,
// PDU and air-conditioner blocks that the configuration counts, each a run of
// 4-byte items. The image holds the device number, the items, and a 7-byte
// update_date trailer.
#pragma once

namespace item_map {

constexpr int item_size = 4;
constexpr int base_items = 20;
constexpr int ups_items = 391;
constexpr int pdu_type_1_items = 154;
constexpr int pdu_type_2_items = 181;
constexpr int pdu_type_3_items = 81;
constexpr int ac_items = 146;

// The device number before the items, the update_date after them.
constexpr int header_bytes = 4;
constexpr int trailer_bytes = 7;
// Image offset of the first UPS block, right after the base block.
constexpr int first_block_offset = header_bytes + base_items * item_size;

// Items per read request; 50 four-byte items fill a 200-byte reply.
constexpr int batch_items = 50;
// Request start addresses are 16-bit, so no item beyond 0xFFFF can be read.
constexpr long max_items = 0x10000;

}  // namespace item_map
