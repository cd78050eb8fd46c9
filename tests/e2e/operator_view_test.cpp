// The operator's view of a running kpl-host: device health, the
// communication-loss alarm and the alarm log over HTTP; and, against a real
// Prometheus, the metrics scraped. The site's page in a real browser is an
// acceptance test of its own (tests/acceptance/).

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <map>

#include "apps/kpl-host/core/wall_clock.h"
#include "apps/kpl-host/storage/trend_recorder.h"
#include "apps/kpl-host/storage/trend_store.h"
#include "testkit/free_port.h"
#include "testkit/http_client.h"
#include "testkit/json_text.h"
#include "tests/e2e/e2e_fixture.h"

namespace {

using namespace std::chrono_literals;

class OperatorView : public EndToEnd {
 protected:
  // Starts kpl-host with its endpoint on a free loopback port; returns it.
  unsigned short start_with_http(const std::vector<std::string>& more = {"--quiet"}) {
    std::vector<std::string> args = more;
    args.insert(args.end(), {"--http", "127.0.0.1:0"});
    host = start_host(args);
    return printed_port(*host);
  }
  Json::Value device(unsigned short port, unsigned int number) {
    const Json::Value all = json_of(http_request(port, "/api/devices").body);
    for (const Json::Value& d : all)
      if (d["device"].asUInt() == number) return d;
    return {};
  }
  bool alarm_shown(unsigned short port, unsigned int number, const std::string& id) {
    const Json::Value d = device(port, number);
    for (const Json::Value& a : d["alarms"])
      if (a["id"] == id) return true;
    return false;
  }

  std::unique_ptr<Process> host;
};

// Against a real client: labelled acceptance.
class OperatorViewAcceptance : public OperatorView {};

TEST_F(OperatorView, HealthAlarmsAndCommunicationLossOverHttp) {
  qltsim::Unit& unit = add_unit({7, {1, 0, 0, 0, 1}});
  sim.start();
  write_config(100, R"(, "offline_after_ms": 1500)");
  // Not quiet: the console's round lines say each raise and clear too.
  const unsigned short port = start_with_http({});
  ASSERT_NE(port, 0) << host->out();
  ASSERT_TRUE(eventually([&] { return device(port, 7)["state"] == "online"; }, 10s));

  const HttpAnswer metrics = http_request(port, "/metrics");
  EXPECT_EQ(metrics.status, 200);
  EXPECT_EQ(metrics.content_type, "text/plain; version=0.0.4; charset=utf-8");
  EXPECT_NE(metrics.body.find("kpl_device_up{device=\"7\"} 1"), std::string::npos);

  unit.raise("ups1.QLT_0");
  ASSERT_TRUE(eventually([&] { return alarm_shown(port, 7, "QLT_0"); }, 10s));
  const Json::Value raised = device(port, 7);
  for (const Json::Value& a : raised["alarms"])
    if (a["id"] == "QLT_0") {
      EXPECT_EQ(a["desc"], "市电输入告警");
    }
  unit.clear("ups1.QLT_0");
  ASSERT_TRUE(eventually([&] { return !alarm_shown(port, 7, "QLT_0"); }, 10s));

  // The unit falls silent: offline within offline_after_ms and two seconds,
  // its values stale, the communication-loss alarm raised; then back.
  unit.set_fault(qltsim::Fault(qltsim::FaultMode::mute));
  const auto silent = std::chrono::steady_clock::now();
  ASSERT_TRUE(eventually([&] { return device(port, 7)["state"] == "offline"; }, 10s));
  EXPECT_LE(std::chrono::steady_clock::now() - silent, 1500ms + 2s);
  const Json::Value offline = device(port, 7);
  EXPECT_TRUE(offline["stale"].asBool());
  EXPECT_TRUE(alarm_shown(port, 7, "communication_lost"));
  EXPECT_EQ(http_request(port, "/metrics").body.find("kpl_point_temperature_celsius{device=\"7\""),
            std::string::npos);
  // The console and the event stream have it too before the unit returns.
  ASSERT_TRUE(eventually([&] { return !events_of("alarm", 7).empty(); }, 5s));
  unit.clear_faults();
  ASSERT_TRUE(eventually([&] { return !alarm_shown(port, 7, "communication_lost"); }, 10s));

  // The alarm log, oldest first, holds what the event stream's alarm lines
  // say, field for field, in the same order.
  std::vector<Json::Value> lines;
  ASSERT_TRUE(eventually(
      [&] {
        lines = events_of("alarm", 7);
        return lines.size() == 4;
      },
      5s));
  const Json::Value log = json_of(http_request(port, "/api/alarms?since=0&limit=100").body);
  ASSERT_EQ(log["alarms"].size(), lines.size()) << log.toStyledString();
  EXPECT_FALSE(log["more"].asBool());
  for (Json::ArrayIndex i = 0; i < lines.size(); ++i)
    for (const std::string& field : lines[i].getMemberNames()) {
      // The line's time is when it was written, the log's when it was kept:
      // the same moment, told the same way, to within a second.
      if (field == "event" || field == "time") continue;
      EXPECT_EQ(log["alarms"][i][field], lines[i][field]) << field;
    }
  for (Json::ArrayIndex i = 0; i < lines.size(); ++i)
    EXPECT_EQ(log["alarms"][i]["time"].asString().substr(0, 16),
              lines[i]["time"].asString().substr(0, 16));
  EXPECT_EQ(log["alarms"][1]["raised_seq"], log["alarms"][0]["seq"]);
  EXPECT_TRUE(log["alarms"][1]["duration_s"].isDouble());

  host->interrupt();
  ASSERT_EQ(host->wait(10s), 0);
  std::vector<std::string> comm;
  for (const Json::Value& e : events_of("alarm", 7))
    if (e["id"] == "communication_lost") comm.push_back(e["state"].asString());
  EXPECT_EQ(comm, (std::vector<std::string>{"raised", "cleared"}));
  const std::string out = host->out();
  for (const char* line : {"RAISED  Number_1_UPS_Alarm_ QLT_0 02401 市电输入告警",
                           "CLEARED Number_1_UPS_Alarm_ QLT_0 02401 市电输入告警",
                           "device 7 RAISED  communication lost: no round for"})
    EXPECT_NE(out.find(line), std::string::npos) << line;
}

// A real Prometheus server, started here on loopback, scrapes the host and
// answers a query for the device's up.
TEST_F(OperatorViewAcceptance, PrometheusScrapesTheHost) {
  add_unit({7, {0, 0, 0, 0, 1}});
  sim.start();
  write_config(100);
  const unsigned short port = start_with_http();
  ASSERT_NE(port, 0) << host->out();
  const unsigned short prom_port = free_port();
  std::ofstream(dir + "/prometheus.yml")
      << "global: {scrape_interval: 1s, evaluation_interval: 1s}\n"
      << "scrape_configs:\n  - job_name: kpl\n    static_configs:\n"
      << "      - targets: ['127.0.0.1:" << port << "']\n";
  Process prometheus(
      "prometheus",
      {"--config.file=" + dir + "/prometheus.yml", "--storage.tsdb.path=" + dir + "/tsdb",
       "--web.listen-address=127.0.0.1:" + std::to_string(prom_port)},
      ProcessOutput::files_in(dir, "prometheus"));
  Json::Value answer;
  const bool up = eventually(
      [&] {
        try {
          answer = json_of(
              http_request(prom_port, "/api/v1/query?query=kpl_device_up%7Bdevice%3D%227%22%7D")
                  .body);
        } catch (const std::exception&) {
          return false;
        }
        return answer["data"]["result"].size() == 1 &&
               answer["data"]["result"][0]["value"][1] == "1";
      },
      30s);
  EXPECT_TRUE(up) << answer.toStyledString() << prometheus.out();
  prometheus.stop(5s);
  host->interrupt();
  EXPECT_EQ(host->wait(10s), 0);
}

// A temperature over the last 24 hours, put in the store with a clock
// stepped by hand: /api/trend answers each minute's least, mean and
// greatest value as the test worked them out, the CSV says the same, and a
// real browser draws the plot on the page.
TEST_F(OperatorViewAcceptance, TrendOfATemperatureOverADayInARealBrowser) {
  using namespace kplhost;
  const std::int64_t now = unix_seconds(std::chrono::system_clock::now());
  const std::int64_t end = now - now % 60, start = end - 86400;
  // A day's wave and a ripple, a sample every 10 s; each minute as the test
  // expects it, in double, independently of the store.
  auto temperature = [](std::int64_t t) {
    return static_cast<float>(22 + 3 * std::sin(2 * M_PI * static_cast<double>(t % 86400) / 86400) +
                              0.2 * std::sin(static_cast<double>(t) / 37));
  };
  struct Minute {
    float min = 1e9f, max = -1e9f;
    double sum = 0;
    int n = 0;
  };
  std::map<std::int64_t, Minute> expected;
  {
    TrendStore store(history_path);
    TrendRecorder recorder;
    for (std::int64_t t = start; t < end; t += 10) {
      const float v = temperature(t);
      Minute& m = expected[t - t % 60];
      m.min = std::min(m.min, v);
      m.max = std::max(m.max, v);
      m.sum += v;
      ++m.n;
      recorder.add(7,
                   {{rule_analogue,
                     "temperature_1_value",
                     "温度1",
                     6,
                     value_bits_of(v),
                     {},
                     {},
                     rule_normal}},
                   t);
      if (t % 3600 == 3590) store.write(recorder.take());
    }
    store.write(recorder.take(true));
  }

  add_unit({7, {1, 0, 0, 0, 1}});
  sim.start();
  write_config(100);
  const unsigned short port = start_with_http();
  ASSERT_NE(port, 0) << host->out();
  ASSERT_TRUE(eventually([&] { return device(port, 7)["state"] == "online"; }, 10s));

  const std::string query = "?device=7&point=temperature_1_value&range=24h";
  const Json::Value trend = json_of(http_request(port, "/api/trend" + query).body);
  EXPECT_EQ(trend["desc"], "温度1");
  EXPECT_EQ(trend["step_s"], 60);
  long matched = 0;
  for (const Json::Value& s : trend["samples"]) {
    const auto it = expected.find(s["t"].asInt64());
    if (it == expected.end()) continue;
    const Minute& m = it->second;
    EXPECT_EQ(s["min"].asFloat(), m.min) << s["t"].asInt64();
    EXPECT_EQ(s["max"].asFloat(), m.max) << s["t"].asInt64();
    EXPECT_NEAR(s["mean"].asDouble(), m.sum / m.n, 1e-5) << s["t"].asInt64();
    EXPECT_EQ(s["samples"].asInt(), m.n) << s["t"].asInt64();
    ++matched;
  }
  // All but the minutes the range has moved past since the test began.
  EXPECT_GE(matched, 1440 - 3);
  const HttpAnswer csv = http_request(port, "/api/trend.csv" + query);
  EXPECT_EQ(std::count(csv.body.begin(), csv.body.end(), '\n'),
            static_cast<long>(trend["samples"].size()) + 1);

  // The page of every device's values, where each has its plots.
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/status";
  auto browse = [&](const std::string& what) {
    Process chromium("chromium",
                     {"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                      "--disable-background-networking", "--virtual-time-budget=6000",
                      "--window-size=412,1000", what, url},
                     {dir + "/chromium.out", dir + "/chromium.err"});
    EXPECT_EQ(chromium.wait(60s), 0) << chromium.err();
    return chromium.out();
  };
  const std::string dom = browse("--dump-dom");
  const size_t plot = dom.find(R"(<div class="trend" id="trend-7-temperature_1_value")");
  ASSERT_NE(plot, std::string::npos) << dom;
  const std::string drawn = dom.substr(plot, dom.find("</svg>", plot) - plot);
  EXPECT_NE(drawn.find("<svg"), std::string::npos) << drawn.substr(0, 400);
  EXPECT_NE(drawn.find("<polygon"), std::string::npos) << drawn.substr(0, 400);
  EXPECT_NE(drawn.find(R"(<title>温度1 over 24h</title>)"), std::string::npos);
  browse("--screenshot=" + std::string(QLT_BUILD_DIR) + "/trend-plot.png");
  host->interrupt();
  EXPECT_EQ(host->wait(10s), 0);
}

}  // namespace
