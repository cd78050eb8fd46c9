// Fuzzes the model's configuration: the input is the text of "appSetting"
// (JSON when it parses, a plain string otherwise). Whatever it holds, the
// counts, the image and the request plan must agree, and a pass answered
// properly must complete and publish.

#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz/fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const Json::Value setting = json_or_text(text);

  FuzzHost host;
  auto model = std::make_shared<QLTModel>();
  model->services = &host.services;
  Json::Value config;
  config["appSetting"] = setting;
  FUZZ_CHECK(model->Init({}, 9, config) == 1);

  if (model->batch_count == 0) {
    // An unusable composition plans nothing and polls nothing.
    FUZZ_CHECK(model->image_size == 0 && !model->image && model->requests.empty());
    model->link_ready = 1;
    FUZZ_CHECK(model->RefreshStatus() == 0 && host.sent == 0);
    return 0;
  }
  for (int c : {model->ups_count, model->pdu_type_1_count, model->pdu_type_2_count,
                model->pdu_type_3_count, model->ac_count})
    FUZZ_CHECK(c >= 0);
  const ImageLayout layout({model->ups_count, model->pdu_type_1_count, model->pdu_type_2_count,
                            model->pdu_type_3_count, model->ac_count});
  const long items = layout.item_count();
  FUZZ_CHECK(items <= ImageLayout::max_items);
  FUZZ_CHECK(model->item_bytes == static_cast<unsigned>(4 * items));
  FUZZ_CHECK(model->image_size == 4 * items + 11);
  FUZZ_CHECK(model->batch_count == static_cast<int>((items + 49) / 50));
  FUZZ_CHECK(model->reply_timeout.count() > 0);

  long planned = 0;
  for (int b = 0; b < model->batch_count; ++b) {
    const rdu_read& r = model->requests[static_cast<size_t>(b)];
    FUZZ_CHECK(ntohs(r.start_addr) == 50 * b);
    planned += ntohs(r.quantity);
  }
  FUZZ_CHECK(planned == items);

  // Answer one pass properly, for units small enough to be quick.
  if (items > 2000) return 0;
  model->link_ready = 1;
  FUZZ_CHECK(model->RefreshStatus() == 1);
  for (int b = 0; b < model->batch_count; ++b) {
    // Every request goes out with a transaction id of its own.
    FUZZ_CHECK(ntohs(host.last_request.trans_id) == static_cast<std::uint16_t>(9 * 0x9e37 + b));
    auto f = reply_to(host.last_request, Bytes(4, 0x41));
    model->process(1, f.data(), static_cast<int>(f.size()));
  }
  FUZZ_CHECK(host.published == 1);
  return 0;
}
