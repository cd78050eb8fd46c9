// The qlt-unit-sim program run as a script would run it, and the reading of
// its configuration file.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/sim/loopback_client.h"
#include "testkit/exec_argv.h"
#include "apps/qlt-unit-sim/device_config.h"
#include "apps/qlt-unit-sim/json_read.h"

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

// The program with its standard output and error on pipes.
class Running {
 public:
  explicit Running(std::vector<std::string> args) {
    int out[2], err[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0) throw std::runtime_error("no pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], 1);
      ::dup2(err[1], 2);
      std::vector<std::string> words = exec_argv(QLT_UNIT_SIM);
      std::vector<char*> argv;
      for (std::string& w : words) argv.push_back(w.data());
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    out_ = out[0];
    err_ = err[0];
  }
  ~Running() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    ::close(out_);
    ::close(err_);
  }

  // The next line of standard output; empty if none comes in time.
  std::string line(std::chrono::milliseconds within = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    std::string text;
    char c = 0;
    while (wait_readable(out_, deadline) && ::read(out_, &c, 1) == 1 && c != '\n') text += c;
    return text;
  }

  // Standard error up to the program's end, and its exit status.
  int finish(std::string& err, std::chrono::milliseconds within = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + within;
    char buf[512];
    for (ssize_t n; wait_readable(err_, deadline) && (n = ::read(err_, buf, sizeof buf)) > 0;)
      err.append(buf, static_cast<size_t>(n));
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  void signal(int sig) { ::kill(pid_, sig); }

 private:
  static bool wait_readable(int fd, std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd p{fd, POLLIN, 0};
    return left.count() > 0 && ::poll(&p, 1, static_cast<int>(left.count())) > 0;
  }

  pid_t pid_ = -1;
  int out_ = -1, err_ = -1;
};

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
  const std::string cfg = dir.write("cfg.json", R"({"devices": [{"device_number": 7, "port": "x"}]})");
  Running p({"--config", cfg});
  std::string err;
  EXPECT_EQ(p.finish(err), 2);
  EXPECT_NE(err.find(cfg + ": devices[0].port: expected a whole number"), std::string::npos) << err;
}

TEST(SimProgram, ServesEachDeviceOfTheConfigWithItsScenarioAndFaults) {
  TempDir dir;
  dir.write("comm.json", R"({"steps": [{"at_s": 0, "raise": ["ac1.QLT_153"]}]})");
  const std::string cfg = dir.write("cfg.json", R"({"poll_interval_ms": 1000, "devices": [
      {"device_number": 7, "data_id": 107, "ip": "127.0.0.1", "port": 0, "addr": 1,
       "appSetting": {"ups": 1, "ac": "1"},
       "sim": {"scenario": "comm.json", "vary": false, "faults": [{"mode": "wrong_tid", "next": 1}]}}]})");
  const std::string ports = (dir.path / "ports").string();
  Running p({"--config", cfg, "--ports-file", ports, "--duration-s", "60"});

  const std::string listening = p.line();
  const std::string head = "qlt-unit-sim: device 7 listening on 127.0.0.1:";
  ASSERT_EQ(listening.rfind(head, 0), 0u) << listening;
  const std::string port = listening.substr(head.size(), listening.find(' ', head.size()) - head.size());
  EXPECT_EQ(listening, head + port + " (ups 1, ac 1, 557 items)");
  EXPECT_EQ(p.line(), "qlt-unit-sim: device 7 t=0s raise ac1.QLT_153");
  std::string written;
  std::getline(std::ifstream(ports), written);
  EXPECT_EQ(written, "7 " + port);

  simtest::LoopbackClient c(static_cast<unsigned short>(std::stoi(port)));
  c.send(simtest::read_request(1, 20 + 391 + 145, 1));
  EXPECT_EQ(to_hex(c.read(13)), "00 02 00 00 00 07 01 03 04 00 00 00 00");

  p.signal(SIGTERM);
  std::string err;
  EXPECT_EQ(p.finish(err), 0);
  EXPECT_EQ(err, "");
}

}  // namespace
