// What the operator's views write of a device given a name and a place with
// quotes, backslashes and Chinese text, and of its acknowledged alarms: JSON
// and metric labels escaped, the page from the binary alone.

#include <gtest/gtest.h>
#include <json/value.h>

#include "apps/kpl-host/core/wall_time.h"
#include "apps/kpl-host/view/alarms_json.h"
#include "apps/kpl-host/view/devices_json.h"
#include "apps/kpl-host/view/metrics_text.h"
#include "apps/kpl-host/view/site_page.h"
#include "apps/kpl-host/view/trend_plot.h"
#include "testkit/json_text.h"

namespace {

using namespace kplhost;

class Views : public ::testing::Test {
 protected:
  void SetUp() override {
    DeviceConfig c;
    c.device_number = 7;
    c.ip = "127.0.0.1";
    c.port = 1502;
    c.name = "UPS \"A\" \\ 电池柜";
    c.location = "机房 <b>2</b>";
    c.thresholds["temperature_1_value"] = {5.0, 35.0};
    c.thresholds["humid_1_value"] = {std::nullopt, 80.0};
    DeviceSlot& slot = registry.add(c);
    const rule_value hot{
        rule_analogue, "temperature_1_value", "温度1", 6, value_bits_of(41.5f), "", "",
        rule_in_alarm};
    slot.view.update(3, {hot});
    ListedAlarm active;
    active.seq = 4;
    active.key = "temperature_1_value";
    active.raised_time = "2026-12-08 17:05:09";
    active.ack_by = "alice";
    active.ack_time = "2026-12-08 17:06:00";
    ListedAlarm cleared;
    cleared.seq = 2;
    cleared.key = "Number_1_UPS_Alarm_/QLT_0";
    cleared.id = "QLT_0";
    cleared.desc = "市电输入告警";
    cleared.active = false;
    cleared.cleared_time = "2026-12-08 17:05:30";
    slot.listed.set({cleared, active});
  }
  DeviceRegistry registry;
};

TEST_F(Views, DevicesCarryTheirNamesAndWhoAcknowledgedTheirAlarms) {
  const Json::Value all = json_of(devices_json(report_devices(registry)));
  ASSERT_EQ(all.size(), 1u);
  const Json::Value& d = all[0];
  EXPECT_EQ(d["device_name"], "UPS \"A\" \\ 电池柜");
  EXPECT_EQ(d["device_location"], "机房 <b>2</b>");
  ASSERT_EQ(d["alarms"].size(), 1u);
  const Json::Value& a = d["alarms"][0];
  EXPECT_EQ(a["id"], "temperature_1_value");
  EXPECT_EQ(a["seq"], 4);
  EXPECT_EQ(a["since"], "2026-12-08 17:05:09");
  EXPECT_TRUE(a["acknowledged"].asBool());
  EXPECT_EQ(a["by"], "alice");
  EXPECT_EQ(a["ack_time"], "2026-12-08 17:06:00");
  ASSERT_EQ(d["cleared_alarms"].size(), 1u);
  EXPECT_EQ(d["cleared_alarms"][0]["cleared"], "2026-12-08 17:05:30");
  EXPECT_FALSE(d["cleared_alarms"][0]["acknowledged"].asBool());
  EXPECT_EQ(d["values"][0]["decimals"], 1);
}

TEST_F(Views, MetricLabelsEscapedAndLimitsInTheMetricsUnit) {
  const std::string text = metrics_text(report_devices(registry), {});
  EXPECT_NE(
      text.find(
          R"(kpl_device_info{device="7",name="UPS \"A\" \\ 电池柜",location="机房 <b>2</b>"} 1)"),
      std::string::npos)
      << text;
  EXPECT_NE(
      text.find(R"(kpl_point_threshold{device="7",point="temperature_1_value",limit="max"} 35)"),
      std::string::npos);
  EXPECT_NE(text.find(R"(kpl_point_threshold{device="7",point="humid_1_value",limit="max"} 0.8)"),
            std::string::npos);
  EXPECT_EQ(text.find(R"(point="humid_1_value",limit="min")"), std::string::npos);
  EXPECT_EQ(text.find("kpl_http_login_failures_total"), std::string::npos);
}

TEST_F(Views, AlarmLogEntriesAsTheApiWritesThem) {
  AlarmLogPage page;
  AlarmLogEntry clear;
  clear.seq = 9;
  clear.unix_ms = 1796829466568;
  clear.local_time = "2026-12-08 17:05:30";
  clear.device_number = 7;
  clear.raised = false;
  clear.fields = R"("round":9,"id":"QLT_0","number":15)";
  clear.raised_seq = 2;
  clear.duration_s = 21.5;
  page.entries.push_back(clear);
  page.more = true;
  // The time as event lines write it, in this machine's offset.
  const std::string time =
      iso8601_time(std::chrono::system_clock::time_point(std::chrono::milliseconds(clear.unix_ms)));
  EXPECT_EQ(
      alarms_json(page, registry),
      R"({"alarms":[{"seq":9,"time":")" + time +
          R"(","local_time":"2026-12-08 17:05:30","unix_ms":1796829466568,"device":7,"device_name":"UPS \"A\" \\ 电池柜","device_location":"机房 <b>2</b>","state":"cleared","round":9,"id":"QLT_0","number":15,"raised_seq":2,"duration_s":21.5}],"more":true})"
          "\n");
}

// Controllers have no internet: nothing the page loads comes from elsewhere,
// and nothing the host sends is put in as markup.
TEST(SitePage, SelfContainedAndWritesTextOnly) {
  for (std::string page : {site_page_html(), trend_plot_js()}) {
    // The SVG namespace's name is a name, not loaded.
    const std::string svg = "http://www.w3.org/2000/svg";
    for (size_t at; (at = page.find(svg)) != std::string::npos;) page.erase(at, svg.size());
    for (const char* outside : {"http:", "https:", "@import", "url("})
      EXPECT_EQ(page.find(outside), std::string::npos) << outside;
    for (size_t at = page.find("//"); at != std::string::npos; at = page.find("//", at + 2))
      EXPECT_EQ(page.compare(at, 3, "// "), 0) << "not a comment: " << page.substr(at, 40);
    for (const char* markup : {"innerHTML", "outerHTML", "insertAdjacentHTML", "document.write"})
      EXPECT_EQ(page.find(markup), std::string::npos) << markup;
  }
  // The one script the page loads is the host's own.
  const std::string& page = site_page_html();
  EXPECT_EQ(page.find("src="), page.rfind("src="));
  EXPECT_NE(page.find("<script src=\"/trend-plot.js\">"), std::string::npos);
  EXPECT_NE(page.find("id=\"trends\""), std::string::npos);
}

}  // namespace
