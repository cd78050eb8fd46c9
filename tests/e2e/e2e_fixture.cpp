#include "tests/e2e/e2e_fixture.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "host/rule_value.h"
#include "testkit/json_text.h"

void EndToEnd::SetUp() {
  std::string tmpl = ::testing::TempDir() + "kpl-e2e-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
  dir = tmpl;
  config_path = dir + "/host.json";
  events_path = dir + "/events.jsonl";
  history_path = dir + "/history.db";
}

void EndToEnd::TearDown() {
  sim.stop();
  if (!HasFailure()) std::system(("rm -rf '" + dir + "'").c_str());
}

qltsim::Unit& EndToEnd::add_unit(const UnitEntry& entry) {
  qltsim::UnitConfig cfg;
  cfg.composition = entry.composition;
  cfg.vary = false;
  cfg.device_number = static_cast<int>(entry.device_number);
  qltsim::Unit& u = sim.add_unit(cfg);
  units.emplace_back(entry, &u);
  return u;
}

void EndToEnd::add_endpoint(const UnitEntry& entry, unsigned short port) {
  endpoints.emplace_back(entry, port);
}

std::string EndToEnd::write_config(int poll_interval_ms, const std::string& extra,
                                   const std::string& extra_app) {
  std::vector<std::pair<UnitEntry, unsigned short>> all = endpoints;
  for (const auto& [entry, unit] : units) all.emplace_back(entry, unit->port());
  std::ostringstream c;
  c << "{" << top_keys << "\"poll_interval_ms\": " << poll_interval_ms << ", \"devices\": [";
  for (size_t i = 0; i < all.size(); ++i) {
    const auto& [entry, port] = all[i];
    const auto& m = entry.composition;
    c << (i ? "," : "") << "{\"device_number\": " << entry.device_number
      << ", \"data_id\": " << 100 + entry.device_number
      << ", \"ip\": \"127.0.0.1\", \"port\": " << port << ", \"addr\": " << entry.addr
      << ", \"appSetting\": {\"ups\": " << m.ups << ", \"pdu_type_1\": " << m.pdu_type_1
      << ", \"pdu_type_2\": " << m.pdu_type_2 << ", \"pdu_type_3\": " << m.pdu_type_3
      << ", \"ac\": " << m.ac << extra_app << "}" << extra << "}";
  }
  c << "]}";
  std::ofstream(config_path) << c.str();
  return config_path;
}

std::vector<std::string> EndToEnd::host_args(const std::vector<std::string>& more) const {
  std::vector<std::string> a{"--plugin",  QLTMODEL_SO,      "--config",  config_path, "--events",
                             events_path, "--events-trace", "--history", history_path};
  a.insert(a.end(), more.begin(), more.end());
  return a;
}

std::unique_ptr<Process> EndToEnd::start_host(const std::vector<std::string>& more,
                                              long file_size_limit) {
  return run_host(host_args(more), file_size_limit);
}

std::unique_ptr<Process> EndToEnd::run_host(const std::vector<std::string>& args,
                                            long file_size_limit) {
  return std::make_unique<Process>(KPL_HOST_BIN, args, ProcessOutput::files_in(dir, KPL_HOST_BIN),
                                   file_size_limit);
}

std::vector<Json::Value> EndToEnd::events() const {
  // The files a rotation renamed first, the oldest first: a long run of the
  // trace passes the default size.
  std::string text;
  for (int n = 4; n >= 1; --n) text += read_text(events_path + "." + std::to_string(n));
  text += read_text(events_path);
  std::vector<Json::Value> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    Json::Value v;
    // The last line may still be on its way.
    if (parse_json(line, v)) out.push_back(v);
  }
  return out;
}

std::vector<Json::Value> EndToEnd::events_of(const std::string& kind, unsigned int device) const {
  std::vector<Json::Value> out;
  for (const Json::Value& e : events())
    if (e["event"].asString() == kind && e["device"].asUInt() == device) out.push_back(e);
  return out;
}

void EndToEnd::expect_image_matches(const Json::Value& publish, const qltsim::Unit& unit,
                                    unsigned int device_number) const {
  const std::string hex = publish["image"].asString();
  const long items = unit.item_count();
  ASSERT_EQ(publish["size"].asLargestInt(), 4 * items + 11);
  ASSERT_EQ(hex.size(), size_t(2 * (4 * items + 11)));
  EXPECT_EQ(image_word(hex, 0), device_number);
  for (long k = 0; k < items; ++k)
    ASSERT_EQ(image_word(hex, 4 + 4 * k), value_bits_of(unit.item(k)))
        << "device " << device_number << " item " << k;
  // The year, the first two bytes after the items.
  EXPECT_GE(image_word(hex, 4 + 4 * items) & 0xffff, 2020u);
}

std::uint32_t image_word(const std::string& hex, long at) {
  std::uint32_t word = 0;
  for (long b = at + 3; b >= at; --b)
    word = word << 8 | static_cast<std::uint32_t>(std::stoul(hex.substr(2 * b, 2), nullptr, 16));
  return word;
}

bool EndToEnd::published(unsigned int device, size_t n) const {
  return eventually([&] { return events_of("publish", device).size() >= n; },
                    std::chrono::seconds(10));
}

std::vector<std::chrono::steady_clock::time_point> EndToEnd::publish_times(
    unsigned int device, std::chrono::milliseconds span) const {
  using Clock = std::chrono::steady_clock;
  std::vector<Clock::time_point> times;
  size_t seen = 0;
  for (const auto end = Clock::now() + span; Clock::now() < end;) {
    const size_t n = events_of("publish", device).size();
    for (; seen < n; ++seen) times.push_back(Clock::now());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return times;
}
