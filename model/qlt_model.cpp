// Construction and configuration: the unit's composition from "appSetting",
// the image sized and laid out for it, and the fixed plan of read requests.

#include "model/qlt_model.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "model/count_reading.h"
#include "model/whole_number.h"
#include "points/point_evaluation.h"

QLTModel::QLTModel() { device_type = "qltmodel"; }

QLTModel::~QLTModel() = default;

int QLTModel::Init(std::weak_ptr<KPLController> controller, unsigned int device_number,
                   const Json::Value& config) {
  QLTProtocol::Init(controller, device_number, config);

  bool usable = true;
  const Json::Value& setting = config["appSetting"];
  if (setting != Json::Value(Json::nullValue) && setting.type() == Json::objectValue) {
    usable = read_composition(setting);
    check_setting_names(setting);
    read_reply_timeout(setting);
  }

  if (usable) {
    layout =
        ImageLayout({ups_count, pdu_type_1_count, pdu_type_2_count, pdu_type_3_count, ac_count});
    item_bytes = static_cast<unsigned int>(ImageLayout::item_size * layout.item_count());
    image_size = layout.image_size();
    image.reset(new unsigned char[static_cast<size_t>(image_size)]());
    const std::uint32_t number = device_number;
    std::memcpy(image.get(), &number, sizeof number);
  } else {
    // Nothing is read and nothing published until the configuration is
    // mended: data under a composition that is not the unit's would be
    // reported under the wrong points.
    ups_count = pdu_type_1_count = pdu_type_2_count = pdu_type_3_count = ac_count = 0;
    layout = ImageLayout();
    item_bytes = 0;
    image_size = 0;
    image.reset();
  }
  planned_image_size = image_size;
  // An odd factor spreads consecutive device numbers far apart in the 16-bit
  // count.
  next_trans_id = static_cast<std::uint16_t>(device_number * 0x9e37u);
  if (next_trans_id == 0) next_trans_id = 1;
  block_names.prepare(ups_count, ac_count);
  plan_requests();
  return 1;
}

namespace {

constexpr const char* count_keys[] = {"ups", "pdu_type_1", "pdu_type_2", "pdu_type_3", "ac"};
// Endings that a count's key is sometimes written with.
constexpr const char* count_suffixes[] = {"", "_count", "count", "_num", "num", "_number"};

std::string lower(const std::string& text) {
  std::string out = text;
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The count that an unknown key was perhaps meant for: one that differs only
// in case or by a count suffix ("UPS", "ac_count"). Only a hint: the key is
// ignored all the same, since integrators keep keys of their own here.
const char* count_meant(const std::string& key) {
  const std::string k = lower(key);
  for (const char* known : count_keys)
    for (const char* suffix : count_suffixes)
      if (k == std::string(known) + suffix) return known;
  return nullptr;
}

void count_line(const char* what, unsigned int data_id, const char* key, const Json::Value& v,
                const std::string& outcome) {
  std::printf("QLTModel::Init %s: data_id:%u %s:%s, %s\n", what, data_id, key, json_text(v).c_str(),
              outcome.c_str());
  std::fflush(stdout);
}

}  // namespace

bool QLTModel::read_composition(const Json::Value& setting) {
  using L = ImageLayout;
  struct Key {
    const char* name;
    int QLTModel::*count;
    long long items;
  };
  static constexpr Key keys[] = {
      {"ups", &QLTModel::ups_count, L::ups_items},
      {"pdu_type_1", &QLTModel::pdu_type_1_count, L::pdu_type_1_items},
      {"pdu_type_2", &QLTModel::pdu_type_2_count, L::pdu_type_2_items},
      {"pdu_type_3", &QLTModel::pdu_type_3_count, L::pdu_type_3_items},
      {"ac", &QLTModel::ac_count, L::ac_items},
  };

  // Every key is looked at, so that each unusable one is reported; the item
  // total must stay within what 16-bit start addresses reach.
  static const std::string not_polled = "the unit is not polled";
  bool usable = true;
  long long total = L::base_items;
  for (const Key& k : keys) {
    const Json::Value& v = setting[k.name];
    const CountReading n = read_count(v);
    if (n.kind == CountReading::absent) continue;
    if (n.kind == CountReading::no_text) {
      count_line("count is not a number", data_id, k.name, v, not_polled);
      usable = false;
    } else if (n.value < 0 || n.value > (L::max_items - total) / k.items) {
      count_line("count out of range", data_id, k.name, v, not_polled);
      usable = false;
    } else {
      if (n.kind == CountReading::leading_number)
        count_line("count is not a whole number", data_id, k.name, v,
                   "taken as " + std::to_string(n.value));
      this->*k.count = static_cast<int>(n.value);
      total += n.value * k.items;
    }
  }
  return usable;
}

void QLTModel::check_setting_names(const Json::Value& setting) {
  for (const std::string& key : setting.getMemberNames()) {
    if (key == "reply_timeout_ms" ||
        std::find(std::begin(count_keys), std::end(count_keys), key) != std::end(count_keys))
      continue;
    const char* meant = count_meant(key);
    std::printf("QLTModel::Init unknown setting: data_id:%u %s%s%s%s, ignored\n", data_id,
                key.c_str(), meant ? " (" : "", meant ? meant : "", meant ? "?)" : "");
    std::fflush(stdout);
  }
}

void QLTModel::read_reply_timeout(const Json::Value& setting) {
  const Json::Value& v = setting["reply_timeout_ms"];
  const WholeNumber ms = read_whole_number(v);
  if (ms.reading == WholeNumber::absent) return;
  // Up to an hour; beyond that a lost reply would stall the unit's data.
  if (ms.reading == WholeNumber::whole && ms.value > 0 && ms.value <= 3600000) {
    reply_timeout = std::chrono::milliseconds(ms.value);
    return;
  }
  std::printf(
      "QLTModel::Init reply_timeout_ms out of range: data_id:%u reply_timeout_ms:%s "
      "taken as %lld\n",
      data_id, json_text(v).c_str(), static_cast<long long>(reply_timeout.count()));
  std::fflush(stdout);
}

void QLTModel::plan_requests() {
  const int items = static_cast<int>(item_bytes / ImageLayout::item_size);
  batch_count = (items + batch_items - 1) / batch_items;

  requests.clear();
  requests.resize(static_cast<size_t>(batch_count));
  for (int i = 0; i < batch_count; ++i) {
    rdu_read& req = requests[static_cast<size_t>(i)];
    req.start_addr = static_cast<std::uint16_t>(batch_items * i);
    if (i == batch_count - 1 && items % batch_items != 0)
      req.quantity = static_cast<std::uint16_t>(items % batch_items);
    hton(req);
  }
  end_pass();
}

void QLTModel::RunCheckThreshold() {
  evaluate_points(*this, {image.get(), image_size}, layout, block_names, cursor);
}
