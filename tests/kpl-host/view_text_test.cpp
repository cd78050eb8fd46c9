// What /metrics and /api/devices say of two devices at a fixed moment, held
// against golden text: one online with values, limits, alarms and who
// acknowledged them, its name and place escaped, one offline with its last
// values stale. KPL_GOLDEN_UPDATE=1 writes the golden text anew.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>

#include "apps/kpl-host/view/devices_json.h"
#include "apps/kpl-host/view/metrics_text.h"
#include "testkit/process.h"

namespace {

using namespace std::chrono_literals;
using namespace kplhost;

rule_value analogue(const char* name, const char* desc, float value, bool alarm = false) {
  return {rule_analogue,        name, desc, 1,
          value_bits_of(value), "",   "",   alarm ? rule_in_alarm : rule_normal};
}

rule_value alarm(const char* id, const char* code, const char* desc, const char* label) {
  return {rule_alarm, id, desc, 15, 1, code, label, rule_in_alarm};
}

class ViewText : public ::testing::Test {
 protected:
  void SetUp() override {
    // The page shows local time; the golden text is in UTC.
    setenv("TZ", "UTC", 1);
    tzset();
    DeviceConfig online;
    online.device_number = 7;
    online.data_id = 107;
    online.ip = "127.0.0.1";
    online.port = 1502;
    DeviceConfig offline = online;
    offline.device_number = 8;
    offline.data_id = 108;
    offline.ip = "192.0.2.8";
    // Device 7 has a name and a place with quotes, a backslash, markup and
    // Chinese text, and limits; device 8 has none.
    online.name = "UPS \"A\" \\ 电池柜";
    online.location = "机房 <b>2</b>";
    online.thresholds["temperature_2_value"] = {5.0, 35.0};
    online.thresholds["humid_1_value"] = {std::nullopt, 80.0};
    slots.push_back(std::make_unique<DeviceSlot>(online));
    slots.push_back(std::make_unique<DeviceSlot>(offline));

    pass(*slots[0], t0 + 1s, 40ms);
    pass(*slots[0], t0 + 2s, 120ms);
    slots[0]->health.received(2250);
    slots[0]->view.update(
        2, {analogue("temperature_1_value", "温度1", 23.5f),
            analogue("temperature_2_value", "温度2", 41.25f, true),
            analogue("humid_1_value", "湿度1", 45.5f),
            analogue("battery_1_voltage", "电池电压", 53.75f), analogue("water_value", "水浸", 0),
            alarm("QLT_0", "02401", "市电输入告警", "Number_1_UPS_Alarm_")});
    // Device 8: one round long ago, then silence.
    pass(*slots[1], t0 - 50s, 60ms);
    slots[1]->view.update(1, {analogue("temperature_1_value", "温度1", 19.0f)});

    // Its alarm list: the hot temperature acknowledged, and the mains alarm
    // of an earlier raise cleared but not acknowledged yet.
    ListedAlarm hot;
    hot.seq = 4;
    hot.key = "temperature_2_value";
    hot.raised_time = "2026-12-08 17:05:09";
    hot.ack_by = "alice";
    hot.ack_time = "2026-12-08 17:06:00";
    ListedAlarm mains;
    mains.seq = 2;
    mains.key = "Number_1_UPS_Alarm_/QLT_0";
    mains.id = "QLT_0";
    mains.desc = "市电输入告警";
    mains.active = false;
    mains.cleared_time = "2026-12-08 17:05:30";
    listed = {mains, hot};

    outputs.has_event_stream = true;
    outputs.event_lines_lost = 1;
    outputs.history.queued = 3;
    outputs.mqtt = MqttStatus{true, 2, 0, 57};
  }

  // A pass of the device: started, its first request, then a publish.
  void pass(DeviceSlot& slot, DeviceHealth::Clock::time_point at, std::chrono::milliseconds took) {
    slot.health.pass_started(at);
    slot.health.sent(12);
    slot.health.published(at + took, wall0 + (at + took - t0));
  }

  std::vector<DeviceReport> reports() const {
    const auto now = t0 + 3s;
    return {
        {slots[0].get(), slots[0]->health.snapshot(false, now), slots[0]->view.snapshot(), true, 1,
         0, "none", listed},
        {slots[1].get(),
         slots[1]->health.snapshot(false, now),
         slots[1]->view.snapshot(),
         false,
         4,
         12,
         "cannot connect to 192.0.2.8:1502: Connection refused since 2026-12-08 17:04:23 (46 s)",
         {}}};
  }

  // Compares text with the golden file, or writes it when asked to.
  static void expect_golden(const std::string& text, const std::string& name) {
    const std::string path = std::string(KPL_GOLDEN_DIR) + "/" + name;
    if (std::getenv("KPL_GOLDEN_UPDATE")) std::ofstream(path) << text;
    EXPECT_EQ(text, read_text(path)) << name;
  }

  const DeviceHealth::Clock::time_point t0 = DeviceHealth::Clock::now();
  // 2026-12-08 17:05:09 UTC, when t0 is.
  const DeviceHealth::Wall::time_point wall0{std::chrono::seconds(1796749509)};
  std::vector<std::unique_ptr<DeviceSlot>> slots;
  std::vector<ListedAlarm> listed;
  OutputsStatus outputs;
};

TEST_F(ViewText, MetricsAsGolden) {
  expect_golden(metrics_text(reports(), outputs), "metrics.txt");
}

TEST_F(ViewText, DevicesAsGolden) { expect_golden(devices_json(reports()), "devices.json"); }

}  // namespace
