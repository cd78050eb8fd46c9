// Where everything lies in a unit's image. The unit's 4-byte items form
// consecutive blocks: the base block of environment sensors, then the UPS
// blocks, the PDU blocks of three kinds and the air-conditioner blocks, as
// many of each as the counts say. The image holds the device number, every
// item in the unit's order, and the 7-byte update_date trailer. This is the
// one statement of that layout; the model sizes and fills the image by it,
// the point evaluation reads it.
#pragma once

struct BlockCounts {
  int ups = 0;
  int pdu_type_1 = 0;
  int pdu_type_2 = 0;
  int pdu_type_3 = 0;
  int ac = 0;
};

class ImageLayout {
 public:
  static constexpr int item_size = 4;
  // The device number before the items, the update_date after them.
  static constexpr int header_bytes = 4;
  static constexpr int trailer_bytes = 7;

  static constexpr int base_items = 20;
  static constexpr int ups_items = 391;
  static constexpr int pdu_type_1_items = 154;
  static constexpr int pdu_type_2_items = 181;
  static constexpr int pdu_type_3_items = 81;
  static constexpr int ac_items = 146;
  // Request start addresses are 16-bit, so no unit can have more items.
  static constexpr long long max_items = 0x10000;

  constexpr ImageLayout() = default;
  // The counts are the caller's to check: their items must not pass
  // max_items.
  constexpr explicit ImageLayout(const BlockCounts& counts) : counts_(counts) {}

  constexpr const BlockCounts& counts() const { return counts_; }
  // R = 20 + 391·ups + 154·pdu_type_1 + 181·pdu_type_2 + 81·pdu_type_3 + 146·ac.
  constexpr int item_count() const { return ac_first_item(counts_.ac); }
  // 4 + 4·R + 7: always odd.
  constexpr int image_size() const { return trailer_offset() + trailer_bytes; }
  constexpr int trailer_offset() const { return item_offset(item_count()); }

  // First item of UPS block i and of air-conditioner block j, both from 0;
  // the PDU blocks lie between the two kinds.
  constexpr int ups_first_item(int i) const { return base_items + ups_items * i; }
  constexpr int ac_first_item(int j) const {
    return ups_first_item(counts_.ups) + pdu_type_1_items * counts_.pdu_type_1 +
           pdu_type_2_items * counts_.pdu_type_2 + pdu_type_3_items * counts_.pdu_type_3 +
           ac_items * j;
  }
  // Image offset of an item.
  static constexpr int item_offset(int item) { return header_bytes + item_size * item; }

 private:
  BlockCounts counts_;
};

static_assert(ImageLayout().image_size() == 91, "no blocks: device number, base block, trailer");
static_assert(ImageLayout({1, 0, 0, 0, 1}).image_size() == 2239, "one UPS and one AC");
