// The point evaluation: after every complete pass, walk the image block by
// block and hand every data point to the host's threshold services, with a
// running point number.

#include <cstdio>
#include <cstring>

#include "model/item_map.h"
#include "model/qlt_model.h"
#include "points/ac_alarm_points.h"
#include "points/alarm_flag.h"
#include "points/environment_points.h"
#include "points/point_text.h"
#include "points/ups_alarm_points.h"

namespace {

using namespace item_map;

constexpr long ups_bytes = ups_items * item_size;
constexpr long ac_bytes = ac_items * item_size;
constexpr int battery_item = 76;

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

void QLTModel::RunCheckThreshold() {
  unsigned char* const img = image.get();
  // The item area ends where the update_date trailer begins.
  const long item_end = static_cast<long>(image_size) - trailer_bytes;
  if (img == nullptr || item_end < first_block_offset) return;

  int number = 1;
  cursor = img + header_bytes;
  const std::vector<PointText>& env = environment_text();
  for (size_t p = 0; p < env.size(); ++p)
    CheckThreshold(env[p].name, env[p].desc, item_ref(cursor, environment_points[p].item), number++);

  // A block is evaluated only when it ends inside the item area: the counts
  // and the image may disagree after a cache restore.
  auto place = [&](long start, long size) {
    if (start <= image_size) cursor = img + start;
    return start + size <= item_end;
  };

  for (int i = 0; i < ups_count; ++i) {
    if (!place(first_block_offset + ups_bytes * i, ups_bytes)) {
      out_of_buffer("111 +++++++ outof buffer");
      continue;
    }
    const std::string& label = block_names.ups_label(i);
    CheckThreshold(block_names.battery_name(i), block_names.battery_desc(i),
                   item_ref(cursor, battery_item), number++);
    check_alarms(*this, cursor, ups_alarm_points, ups_alarm_text(), label, number);
  }

  const long ac_first = first_block_offset + ups_bytes * ups_count +
                        long{item_size} * (pdu_type_1_items * pdu_type_1_count +
                                           pdu_type_2_items * pdu_type_2_count +
                                           pdu_type_3_items * pdu_type_3_count);
  for (int j = 0; j < ac_count; ++j) {
    const std::string& label = block_names.ac_label(j);
    if (!place(ac_first + ac_bytes * j, ac_bytes)) {
      out_of_buffer("222 +++++++ outof buffer");
      continue;
    }
    check_alarms(*this, cursor, ac_alarm_points, ac_alarm_text(), label, number);
  }
}
