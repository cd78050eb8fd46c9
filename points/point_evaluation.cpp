#include "points/point_evaluation.h"

#include <cstdio>
#include <cstring>

#include "points/ac_alarm_points.h"
#include "points/alarm_flag.h"
#include "points/environment_points.h"
#include "points/point_text.h"
#include "points/ups_alarm_points.h"

namespace {

constexpr long ups_bytes = long{ImageLayout::ups_items} * ImageLayout::item_size;
constexpr long ac_bytes = long{ImageLayout::ac_items} * ImageLayout::item_size;

// The host compares the image's own item, not a copy of it. Items lie at
// 4-byte steps from the start of the image, which new[] aligns for any
// scalar type.
const float& item_ref(const unsigned char* block, int item) {
  return *reinterpret_cast<const float*>(block + 4 * item);
}

float item_value(const unsigned char* block, int item) {
  float v;
  std::memcpy(&v, block + 4 * item, sizeof v);
  return v;
}

// The host contract fixes these bare lines for a block beyond the image:
// tools that watch a host's output match them letter for letter.
void out_of_buffer(const char* line) {
  std::puts(line);
  std::fflush(stdout);
}

template <size_t N>
void check_alarms(KPLVDevice& dev, const unsigned char* block, const AlarmPoint (&rows)[N],
                  const std::vector<PointText>& text, const std::string& label, int& number) {
  for (size_t r = 0; r < N; ++r) {
    const bool flag = alarm_flag(item_value(block, rows[r].item), rows[r].alarm_value);
    dev.CheckThresholdBool(1, text[r].name, text[r].code, text[r].desc, label, flag,
                           static_cast<unsigned short>(number));
    ++number;
  }
}

}  // namespace

void evaluate_points(KPLVDevice& host, ImageView image, const ImageLayout& layout,
                     const BlockNames& names, unsigned char*& cursor) {
  unsigned char* const img = image.data;
  // The item area ends where the update_date trailer begins.
  const long item_end = static_cast<long>(image.size) - ImageLayout::trailer_bytes;
  if (img == nullptr || item_end < ImageLayout::item_offset(ImageLayout::base_items)) return;

  int number = 1;
  cursor = img + ImageLayout::header_bytes;
  const std::vector<PointText>& env = environment_text();
  for (size_t p = 0; p < env.size(); ++p)
    host.CheckThreshold(env[p].name, env[p].desc, item_ref(cursor, environment_points[p].item),
                        number++);

  // A block is evaluated only when it ends inside the item area: the counts
  // and the image may disagree after a cache restore.
  auto place = [&](long start, long size) {
    if (start <= image.size) cursor = img + start;
    return start + size <= item_end;
  };

  const BlockCounts& counts = layout.counts();
  for (int i = 0; i < counts.ups; ++i) {
    if (!place(ImageLayout::item_offset(layout.ups_first_item(i)), ups_bytes)) {
      out_of_buffer("111 +++++++ outof buffer");
      continue;
    }
    host.CheckThreshold(names.battery_name(i), names.battery_desc(i),
                        item_ref(cursor, ups_battery_item), number++);
    check_alarms(host, cursor, ups_alarm_points, ups_alarm_text(), names.ups_label(i), number);
  }
  for (int j = 0; j < counts.ac; ++j) {
    if (!place(ImageLayout::item_offset(layout.ac_first_item(j)), ac_bytes)) {
      out_of_buffer("222 +++++++ outof buffer");
      continue;
    }
    check_alarms(host, cursor, ac_alarm_points, ac_alarm_text(), names.ac_label(j), number);
  }
}
