// Construction and configuration: the unit's composition from "appSetting",
// the image sized and laid out for it, and the fixed plan of read requests.

#include "model/qlt_model.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "model/item_map.h"

QLTModel::QLTModel() { device_type = "qltmodel"; }

QLTModel::~QLTModel() = default;

int QLTModel::Init(std::weak_ptr<KPLController> controller, unsigned int device_number,
                   const Json::Value& config) {
  QLTProtocol::Init(controller, device_number, config);

  const Json::Value& setting = config["appSetting"];
  if (setting != Json::Value(Json::nullValue) && setting.type() == Json::objectValue)
    read_composition(setting);

  using namespace item_map;
  item_bytes = static_cast<unsigned int>(
      item_size * (base_items + ups_items * ups_count + pdu_type_1_items * pdu_type_1_count +
                   pdu_type_2_items * pdu_type_2_count + pdu_type_3_items * pdu_type_3_count +
                   ac_items * ac_count));
  image_size = header_bytes + static_cast<int>(item_bytes) + trailer_bytes;
  image.reset(new unsigned char[static_cast<size_t>(image_size)]());
  const std::uint32_t number = device_number;
  std::memcpy(image.get(), &number, sizeof number);
  planned_image_size = image_size;

  plan_requests();
  return 1;
}

namespace {

void init_line(const char* what, unsigned int data_id, const char* key, const std::string& text,
               long used) {
  std::printf("QLTModel::Init %s: data_id:%u %s:%s taken as %ld\n", what, data_id, key,
              text.c_str(), used);
  std::fflush(stdout);
}

// A count is read through its text, as atoi reads it (leading blanks, a sign,
// digits up to the first other character), but with a defined result for any
// number of digits. Arrays and objects have no text and count as invalid.
bool count_of(const Json::Value& v, long& out, std::string& text) {
  if (v.isArray() || v.isObject()) {
    text = v.isArray() ? "[array]" : "{object}";
    return false;
  }
  text = v.asString();
  out = std::strtol(text.c_str(), nullptr, 10);
  // A huge number in exponent form ("1e+20") would read as its first digit.
  if (v.type() == Json::realValue && !(std::fabs(v.asDouble()) < 2147483648.0))
    out = v.asDouble() < 0 ? -1 : LONG_MAX;
  return true;
}

}  // namespace

void QLTModel::read_composition(const Json::Value& setting) {
  using namespace item_map;
  struct Key {
    const char* name;
    int QLTModel::*count;
    long items;
  };
  static constexpr Key keys[] = {
      {"ups", &QLTModel::ups_count, ups_items},
      {"pdu_type_1", &QLTModel::pdu_type_1_count, pdu_type_1_items},
      {"pdu_type_2", &QLTModel::pdu_type_2_count, pdu_type_2_items},
      {"pdu_type_3", &QLTModel::pdu_type_3_count, pdu_type_3_items},
      {"ac", &QLTModel::ac_count, ac_items},
  };

  // Counts are taken in key order; one that is negative, not a number, or
  // would carry the item total past what 16-bit addresses reach is taken as 0.
  long total = base_items;
  for (const Key& k : keys) {
    const Json::Value& v = setting[k.name];
    if (v == Json::Value(Json::nullValue)) continue;
    long n = 0;
    std::string text;
    if (!count_of(v, n, text)) {
      init_line("count is not a number", data_id, k.name, text, 0);
      n = 0;
    } else if (n < 0 || n > (max_items - total) / k.items) {
      init_line("count out of range", data_id, k.name, text, 0);
      n = 0;
    }
    this->*k.count = static_cast<int>(n);
    total += n * k.items;
  }

  const Json::Value& timeout = setting["reply_timeout_ms"];
  if (timeout != Json::Value(Json::nullValue)) {
    long ms = 0;
    std::string text;
    // Up to an hour; beyond that a lost reply would stall the unit's data.
    if (count_of(timeout, ms, text) && ms > 0 && ms <= 3600000)
      reply_timeout = std::chrono::milliseconds(ms);
    else
      init_line("reply_timeout_ms out of range", data_id, "reply_timeout_ms", text,
                static_cast<long>(reply_timeout.count()));
  }
}

void QLTModel::plan_requests() {
  using namespace item_map;
  const int items = static_cast<int>(item_bytes / item_size);
  batch_count = (items + batch_items - 1) / batch_items;

  requests.clear();
  requests.resize(static_cast<size_t>(batch_count));
  for (int i = 0; i < batch_count; ++i) {
    rdu_read& req = requests[static_cast<size_t>(i)];
    // Each request carries its batch index, so a reply can only ever land in
    // the place of the request that asked for it.
    req.trans_id = static_cast<std::uint16_t>(i);
    req.start_addr = static_cast<std::uint16_t>(batch_items * i);
    if (i == batch_count - 1 && items % batch_items != 0)
      req.quantity = static_cast<std::uint16_t>(items % batch_items);
    hton(req);
  }
  cur_batch = 0;
  awaiting_reply = false;
}
