// The qlt-unit-sim program run as a script would run it, and the reading of
// its configuration file.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "apps/qlt-unit-sim/device_config.h"
#include "apps/qlt-unit-sim/json_read.h"
#include "testkit/frames.h"
#include "testkit/modbus_client.h"
#include "testkit/process.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    char name[] = "/tmp/qltsim-test-XXXXXX";
    path = ::mkdtemp(name);
  }
  ~TempDir() { fs::remove_all(path); }
  std::string write(const std::string& file, const std::string& text) const {
    std::ofstream(path / file) << text;
    return (path / file).string();
  }
  fs::path path;
};

// The program with its standard output and error in files of dir.
std::unique_ptr<Process> run_sim(const TempDir& dir, const std::vector<std::string>& args) {
  return std::make_unique<Process>(QLT_UNIT_SIM, args,
                                   ProcessOutput::files_in(dir.path.string(), QLT_UNIT_SIM));
}

// "unit N" for the unit id of a device entry with the extra keys `more`, or
// the error reading it raises.
std::string unit_id_read(const TempDir& dir, const std::string& more) {
  const std::string cfg =
      dir.write("cfg.json", R"({"devices": [{"device_number": 7, "port": 0)" + more + "}]}");
  try {
    return "unit " + std::to_string(qltsim::load_devices(cfg).front().unit_id);
  } catch (const qltsim::ConfigError& e) {
    return e.what();
  }
}

TEST(SimDeviceConfig, AddrIsTheUnitIdAndOneWhenAbsent) {
  TempDir dir;
  const std::string bad = (dir.path / "cfg.json").string() +
                          ": devices[0].addr: expected a whole number from 0 to 255, got ";
  const std::pair<const char*, std::string> cases[] = {
      {"", "unit 1"},
      {R"(, "addr": 0)", "unit 0"},
      {R"(, "addr": "255")", "unit 255"},
      {R"(, "addr": 256)", bad + "256"},
      {R"(, "addr": -1)", bad + "-1"},
  };
  for (const auto& [more, want] : cases) EXPECT_EQ(unit_id_read(dir, more), want) << more;
}

TEST(SimProgram, BadConfigExitsWithStatus2NamingFileAndKey) {
  TempDir dir;
  const std::string cfg =
      dir.write("cfg.json", R"({"devices": [{"device_number": 7, "port": "x"}]})");
  const auto p = run_sim(dir, {"--config", cfg});
  EXPECT_EQ(p->wait(10s), 2);
  EXPECT_NE(p->err().find(cfg + ": devices[0].port: expected a whole number"), std::string::npos)
      << p->err();
}

TEST(SimProgram, ServesEachDeviceOfTheConfigWithItsScenarioAndFaults) {
  TempDir dir;
  dir.write("comm.json", R"({"steps": [{"at_s": 0, "raise": ["ac1.QLT_153"]}]})");
  const std::string cfg = dir.write("cfg.json", R"({"poll_interval_ms": 1000, "devices": [
      {"device_number": 7, "data_id": 107, "ip": "127.0.0.1", "port": 0, "addr": 1,
       "appSetting": {"ups": 1, "ac": "1"},
       "sim": {"scenario": "comm.json", "vary": false, "faults": [{"mode": "wrong_tid", "next": 1}]}}]})");
  const std::string ports = (dir.path / "ports").string();
  const auto p = run_sim(dir, {"--config", cfg, "--ports-file", ports, "--duration-s", "60"});

  const std::string listening = p->next_line(10s);
  const std::string head = "qlt-unit-sim: device 7 listening on 127.0.0.1:";
  ASSERT_EQ(listening.rfind(head, 0), 0u) << listening;
  const std::string port =
      listening.substr(head.size(), listening.find(' ', head.size()) - head.size());
  EXPECT_EQ(listening, head + port + " (ups 1, ac 1, 557 items)");
  EXPECT_EQ(p->next_line(10s), "qlt-unit-sim: device 7 t=0s raise ac1.QLT_153");
  std::string written;
  std::getline(std::ifstream(ports), written);
  EXPECT_EQ(written, "7 " + port);

  ModbusClient c(static_cast<unsigned short>(std::stoi(port)));
  c.send(read_request(1, 20 + 391 + 145, 1));
  EXPECT_EQ(to_hex(c.read(13)), "00 02 00 00 00 07 01 03 04 00 00 00 00");

  p->signal(SIGTERM);
  EXPECT_EQ(p->wait(10s), 0);
  EXPECT_EQ(p->err(), "");
}

}  // namespace
