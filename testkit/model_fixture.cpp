#include "testkit/model_fixture.h"

#include <cstdlib>
#include <ctime>

#include "testkit/json_text.h"

QLTModel::Clock::time_point ManualClock::now{};
std::time_t ManualClock::wall = static_cast<std::time_t>(2191754096LL);

Bytes item_wire_bytes(int k) {
  return {static_cast<unsigned char>(k >> 8), static_cast<unsigned char>(k), 0xa5,
          static_cast<unsigned char>(k & 0x7f)};
}

Bytes ModelTest::image_item(int k) {
  const Bytes w = item_wire_bytes(k);
  return {w[1], w[0], w[3], w[2]};
}

void ModelTest::make(const std::string& app_setting, unsigned int device_number) {
  setenv("TZ", "UTC0", 1);
  tzset();
  model = std::make_shared<QLTModel>();
  model->services = &host.services;
  model->now = &ManualClock::read;
  model->wall_clock = &ManualClock::read_wall;
  Json::Value config;
  config["ip"] = "127.0.0.1";
  config["port"] = 1502;
  config["addr"] = 1;
  config["data_id"] = 107;
  if (!app_setting.empty()) {
    Json::Value setting;
    std::string errors;
    ASSERT_TRUE(parse_json(app_setting, setting, &errors)) << errors;
    config["appSetting"] = setting;
  }
  ASSERT_EQ(model->Init({}, device_number, config), 1);
  model->link_ready = 1;
  host.calls.clear();
}

const Bytes& ModelTest::last_sent() const {
  for (auto it = host.calls.rbegin(); it != host.calls.rend(); ++it)
    if (it->kind == HostCall::send) return it->bytes;
  static const Bytes none;
  ADD_FAILURE() << "nothing sent";
  return none;
}

Bytes ModelTest::reply_to_last() const {
  const Bytes& req = last_sent();
  const std::uint16_t start = field(req, 8), quantity = field(req, 10);
  Bytes data;
  for (int k = start; k < start + quantity; ++k) {
    const Bytes w = item_wire_bytes(k);
    data.insert(data.end(), w.begin(), w.end());
  }
  return data_reply(field(req, 0), data);
}

int ModelTest::run_pass() {
  EXPECT_EQ(model->RefreshStatus(), 1);
  int replies = 1;
  while (answer_last() == 1) ++replies;
  return replies;
}
