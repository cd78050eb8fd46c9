// What the alarm log's API writes of a device given a name and a place with
// quotes, backslashes and Chinese text, and the page from the binary alone.
// What /metrics and /api/devices write of them is held as golden text
// (view_text_test.cpp).

#include <gtest/gtest.h>

#include "apps/kpl-host/core/wall_time.h"
#include "apps/kpl-host/view/alarms_json.h"
#include "apps/kpl-host/view/site_page.h"
#include "apps/kpl-host/view/trend_plot.h"

namespace {

using namespace kplhost;

class Views : public ::testing::Test {
 protected:
  void SetUp() override {
    DeviceConfig c;
    c.device_number = 7;
    c.name = "UPS \"A\" \\ 电池柜";
    c.location = "机房 <b>2</b>";
    registry.add(c);
  }
  DeviceRegistry registry;
};

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
