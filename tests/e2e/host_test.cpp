// kpl-host treated as a careless operator and a crash would treat it: a
// database another program holds locked, kill -9, a full disk, a plug-in
// that throws, a threshold on a point that does not exist, a unit whose
// network never answers the connection request; and run as a service, with
// its readiness and watchdog notices, or with no unit configured yet.

#include <json/reader.h>
#include <json/writer.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "apps/kpl-host/storage/history_store.h"
#include "apps/kpl-host/storage/sqlite_file.h"
#include "testkit/notify_socket.h"
#include "tests/e2e/e2e_fixture.h"

namespace {

using namespace std::chrono_literals;

long history_rows(const std::string& path, unsigned int device) {
  kplhost::HistoryStore store(path);
  return store.count(device);
}

// Every line in the file is a whole event: nothing half written.
void expect_whole_lines(const std::string& text) {
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    Json::Value v;
    std::istringstream one(line);
    EXPECT_NO_THROW(one >> v) << line.substr(0, 200);
  }
}

// Another connection holds the history locked: polling and publishing go
// on, history falls behind, says so, and catches up once the lock is gone.
TEST_F(EndToEnd, LockedHistoryDelaysOnlyHistory) {
  add_unit({7, {1, 0, 0, 0, 1}});
  add_unit({8, {0, 0, 0, 0, 1}});
  sim.start();
  // Every round's image, so that each round is a row to wait for.
  top_keys = R"("history_interval_s": 0,)";
  write_config(200);
  auto host = start_host({"--quiet"});
  ASSERT_TRUE(published(7) && published(8)) << host->out();
  ASSERT_TRUE(eventually([&] { return history_rows(history_path, 7) > 0; }, 10s));

  {
    kplhost::SqliteFile locker(history_path, "the test's connection",
                               kplhost::SqliteFile::Sync::every_commit);
    ASSERT_TRUE(eventually(
        [&] {
          try {
            locker.exec("BEGIN IMMEDIATE");
            return true;
          } catch (const kplhost::HistoryError&) {
            return false;  // the host's writer was in a transaction
          }
        },
        10s));
    // Twenty more rounds of each device while the lock is held.
    const size_t seven = events_of("publish", 7).size(), eight = events_of("publish", 8).size();
    EXPECT_TRUE(published(7, seven + 20) && published(8, eight + 20)) << host->out();
    locker.exec("COMMIT");
  }

  ASSERT_TRUE(eventually(
      [&] {
        return history_rows(history_path, 7) >=
               static_cast<long>(events_of("publish", 7).size()) - 1;
      },
      15s))
      << host->out();
  host->interrupt();
  ASSERT_EQ(host->wait(20s), 0);
  EXPECT_EQ(history_rows(history_path, 7), static_cast<long>(events_of("publish", 7).size()));
  std::vector<std::string> states;
  for (const Json::Value& e : events())
    if (e["event"] == "history") states.push_back(e["state"].asString());
  ASSERT_FALSE(states.empty()) << host->out();
  EXPECT_EQ(states.front(), "failing");
  EXPECT_EQ(states.back(), "ok");
  EXPECT_NE(host->out().find("kpl-host: history: failing"), std::string::npos) << host->out();
}

// kill -9 while the event file is rotated every round or two, an alarm
// raised and cleared meanwhile: every file holds whole lines, however the
// host ends, and the alarm lines, oldest file first, are every change the
// host saw, in order.
TEST_F(EndToEnd, KilledWhileRotatingLosesNoAlarmLine) {
  qltsim::Unit& unit = add_unit({7, {1, 0, 0, 0, 1}});
  sim.start();
  // A round's trace is about 30 KB: a rotation every two or three rounds,
  // and room for every file the run makes (about 50).
  top_keys = R"("events_max_mb": 0.08, "events_keep": 100,)";
  write_config(20);
  auto host = start_host({"--quiet"});
  ASSERT_TRUE(eventually([&] { return !!std::ifstream(events_path + ".2"); }, 10s)) << host->out();
  const int changes = 16;
  for (int i = 0; i < changes; ++i) {
    if (i % 2 == 0)
      unit.raise("ups1.QLT_0");
    else
      unit.clear("ups1.QLT_0");
    std::this_thread::sleep_for(150ms);
  }
  host->kill_hard();

  std::vector<std::string> files;
  for (int n = 100; n >= 1; --n)
    if (std::ifstream(events_path + "." + std::to_string(n)))
      files.push_back(events_path + "." + std::to_string(n));
  files.push_back(events_path);
  ASSERT_GE(files.size(), 10u);
  ASSERT_LT(files.size(), 100u);
  std::vector<std::string> states;
  for (const std::string& f : files) {
    const std::string text = read_text(f);
    if (text.empty()) continue;
    expect_whole_lines(text);
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
      Json::Value v;
      std::istringstream one(line);
      one >> v;
      if (v["event"] == "alarm" && v["id"] == "QLT_0") states.push_back(v["state"].asString());
    }
  }
  // The last change may not have been polled before the kill.
  ASSERT_GE(states.size(), static_cast<size_t>(changes - 1));
  ASSERT_LE(states.size(), static_cast<size_t>(changes));
  for (size_t i = 0; i < states.size(); ++i)
    EXPECT_EQ(states[i], i % 2 == 0 ? "raised" : "cleared") << i;
}

// A disk that takes no more: lines are lost whole, counted and reported,
// history says it fails, and polling goes on.
TEST_F(EndToEnd, FullDiskLosesWholeLinesAndSaysSo) {
  qltsim::Unit& unit = add_unit({7, {1, 0, 0, 0, 1}});
  sim.start();
  // Every round's image, at once, so that history meets the full disk too.
  top_keys = R"("history_interval_s": 0,)";
  write_config(50);
  auto host = start_host({}, 64 * 1024);
  ASSERT_TRUE(eventually(
      [&] {
        return host->out().find("lines are lost") != std::string::npos &&
               host->out().find("history: failing") != std::string::npos;
      },
      20s))
      << host->out();
  const auto served = unit.requests_served();
  ASSERT_TRUE(unit.wait_for_requests(served + 50, 10s));
  host->interrupt();
  ASSERT_EQ(host->wait(20s), 0);
  expect_whole_lines(read_text(events_path));
  const std::string out = host->out();
  EXPECT_NE(out.find("event stream: cannot write " + events_path + ": File too large"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("history: failing"), std::string::npos) << out;
  EXPECT_NE(out.find("lines lost, last error: cannot write"), std::string::npos) << out;
}

// One device's plug-in throws: that device stops, the others go on.
TEST_F(EndToEnd, ThrowingDeviceStopsAloneAndTheHostGoesOn) {
  add_unit({7, {0, 0, 0, 0, 1}});
  add_unit({8, {0, 0, 0, 0, 1}});
  add_unit({9, {0, 0, 0, 0, 1}});
  add_unit({10, {0, 0, 0, 0, 1}});
  sim.start();
  std::ostringstream c;
  const char* throws[] = {R"("throw_in": "RefreshStatus", "throw_after": 3)",
                          R"("throw_in": "process", "throw_after": 5)", R"("throw_in": "Init")",
                          R"("ac": 1)"};
  c << R"({"poll_interval_ms": 100, "devices": [)";
  for (size_t i = 0; i < units.size(); ++i)
    c << (i ? "," : "") << R"({"device_number": )" << units[i].first.device_number
      << R"(, "ip": "127.0.0.1", "port": )" << units[i].second->port() << R"(, "appSetting": {)"
      << throws[i] << "}}";
  c << "]}";
  std::ofstream(config_path) << c.str();
  const auto host = run_host({"--plugin", THROWING_PLUGIN_SO, "--config", config_path, "--events",
                              events_path, "--events-trace", "--history", history_path, "--quiet"});
  ASSERT_TRUE(eventually([&] { return events_of("publish", 10).size() >= 20; }, 20s))
      << host->out();
  host->interrupt();
  ASSERT_EQ(host->wait(20s), 0) << host->err();

  for (unsigned int device : {7u, 8u, 9u}) {
    const auto failed = events_of("device", device);
    ASSERT_EQ(failed.size(), 1u) << device << "\n" << host->out();
    EXPECT_EQ(failed[0]["state"], "failed");
  }
  EXPECT_EQ(events_of("device", 7)[0]["detail"],
            "RefreshStatus threw: thrown on purpose in RefreshStatus");
  EXPECT_EQ(events_of("device", 9)[0]["detail"], "Init threw: thrown on purpose in Init");
  const std::string out = host->out();
  EXPECT_NE(out.find("kpl-host: device 8 stopped: process threw: thrown on purpose in process; "
                     "the other devices go on"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("device 7 status: failed, stopped"), std::string::npos) << out;
  EXPECT_TRUE(events_of("device", 10).empty());
}

// A threshold or a re-checked value on a name no point carries would never
// fire: said after the first round, with the name it was probably meant to be.
TEST_F(EndToEnd, ThresholdOnAPointThatDoesNotExistIsReported) {
  add_unit({7, {0, 0, 0, 0, 0}});
  sim.start();
  write_config(100, R"(, "thresholds": {"temprature_1_value": {"max": 30}},)"
                    R"( "ao_names": ["humid_1_value", "humid_1_valeu"])");
  auto host = start_host({"--rounds", "2"});
  ASSERT_EQ(host->wait(20s), 0);
  const auto config = events_of("config", 7);
  ASSERT_EQ(config.size(), 2u);
  EXPECT_EQ(config[0]["key"], "thresholds");
  EXPECT_EQ(config[0]["name"], "temprature_1_value");
  EXPECT_EQ(config[0]["hint"], "temperature_1_value");
  EXPECT_EQ(config[1]["key"], "ao_names");
  EXPECT_EQ(config[1]["name"], "humid_1_valeu");
  EXPECT_NE(host->out().find("device 7 has no point named temprature_1_value for its threshold; "
                             "did you mean temperature_1_value?"),
            std::string::npos);
  EXPECT_NE(host->out().find("device 7 has no point named humid_1_valeu to re-check (ao_names); "
                             "did you mean humid_1_value?"),
            std::string::npos)
      << host->out();
}

// The first pass starts when the link comes up, not a poll interval later;
// a unit whose network never answers the connection request is given up on
// after the connect time-out, and said so.
TEST_F(EndToEnd, FirstPassAtLinkUpAndConnectTimeout) {
  // A listener whose queue is full: the kernel drops further connection
  // requests, as a network that loses them does.
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(listener, 0), 0);
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len), 0);
  int fillers[2];
  for (int& f : fillers) {
    f = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    ::connect(f, reinterpret_cast<sockaddr*>(&a), sizeof a);
  }
  // The first fills the queue once its handshake is done.
  pollfd first{fillers[0], POLLOUT, 0};
  ASSERT_EQ(::poll(&first, 1, 5000), 1);

  add_unit({7, {0, 0, 0, 0, 1}});
  sim.start();
  add_endpoint({8, {0, 0, 0, 0, 0}}, ntohs(a.sin_port));
  write_config(3600000, R"(, "connect_timeout_ms": 300)");
  auto host = start_host({"--quiet"});
  EXPECT_TRUE(published(7)) << host->out();
  ASSERT_TRUE(eventually([&] { return !events_of("link", 8).empty(); }, 5s));
  host->interrupt();
  ASSERT_EQ(host->wait(10s), 0);
  const Json::Value down = events_of("link", 8).front();
  EXPECT_EQ(down["state"], "down");
  EXPECT_EQ(down["detail"].asString().find(
                "cannot connect to 127.0.0.1:" + std::to_string(ntohs(a.sin_port)) +
                ": no answer within 300 ms; retrying in"),
            0u)
      << down.toStyledString();
  for (int f : fillers) ::close(f);
  ::close(listener);
}

// The package's logrotate snippet, run by logrotate itself on this host's
// file (paths, user and signal made the test's): the file is renamed by
// date, the host told, and the lines go on into a new file, none to the
// renamed one.
TEST_F(EndToEnd, PackagedLogrotateRenamesAndTheHostReopens) {
  add_unit({7, {1, 0, 0, 0, 1}});
  sim.start();
  write_config(50);
  auto host = start_host({"--quiet"});
  ASSERT_TRUE(published(7, 3)) << host->out();
  std::string conf = read_text(QLT_SOURCE_DIR "/debian/kpl-host.logrotate");
  auto swap = [&](const std::string& from, const std::string& to) {
    const size_t at = conf.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    conf.replace(at, from.size(), to);
  };
  swap("/var/log/kpl-host/events.jsonl", events_path);
  swap("su kpl-host kpl-host", "");
  swap("systemctl kill --kill-whom=main --signal=HUP kpl-host.service",
       "kill -HUP " + std::to_string(host->pid()));
  std::ofstream(dir + "/logrotate.conf") << conf;
  ASSERT_EQ(std::system(("logrotate --force --state '" + dir + "/logrotate.state' '" + dir +
                         "/logrotate.conf'")
                            .c_str()),
            0);
  // A hang-up is not a stop: the host reopens its event file, says so and
  // goes on polling.
  const std::string reopened = "kpl-host: SIGHUP: event file " + events_path +
                               " reopened; the configuration is read at start only";
  ASSERT_TRUE(eventually([&] { return host->out().find(reopened) != std::string::npos; }, 5s))
      << host->out();
  std::string renamed;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.path().filename().string().rfind("events.jsonl-", 0) == 0) renamed = e.path();
  ASSERT_FALSE(renamed.empty());
  const std::string before = read_text(renamed);
  EXPECT_TRUE(published(7, 3));
  EXPECT_EQ(read_text(renamed), before);
  expect_whole_lines(before);
  host->interrupt();
  EXPECT_EQ(host->wait(10s), 0);
}

// As a service: ready once polling, the watchdog patted every half interval
// while rounds go on, and stopping said before the end. A host given no unit
// says so and idles, patting all the same.
TEST_F(EndToEnd, ServiceNoticesReadyWatchdogAndStopping) {
  NotifySocket systemd(dir + "/notify", 200ms);
  add_unit({7, {1, 0, 0, 0, 1}});
  sim.start();
  write_config(100);
  auto host = start_host({"--quiet"});
  ASSERT_TRUE(systemd.wait_for("READY=1\nSTATUS=polling 1 device(s)", 10s)) << host->err();
  EXPECT_TRUE(published(7, 5));
  ASSERT_TRUE(systemd.wait_for("WATCHDOG=1", 1s));
  for (int pats = 0; pats < 5; ++pats) EXPECT_TRUE(systemd.wait_for("WATCHDOG=1", 500ms));
  // A second host on the same history is refused, naming the first.
  auto second = start_host({"--quiet"});
  EXPECT_EQ(second->wait(10s), 2);
  EXPECT_EQ(second->err(), "kpl-host: " + history_path + ": in use by another kpl-host (pid " +
                               std::to_string(host->pid()) +
                               "); each host needs a history database of its own (--history)\n");
  host->signal(SIGTERM);
  EXPECT_TRUE(systemd.wait_for("STOPPING=1", 5s));
  EXPECT_EQ(host->wait(10s), 0);

  const std::string idle = dir + "/idle.json";
  std::ofstream(idle) << R"({"devices": []})";
  auto idle_host = run_host(
      {"--plugin", QLTMODEL_SO, "--config", idle, "--history", dir + "/idle.db", "--quiet"});
  ASSERT_TRUE(systemd.wait_for("READY=1\nSTATUS=polling 0 device(s)", 10s)) << idle_host->err();
  for (int pats = 0; pats < 3; ++pats) EXPECT_TRUE(systemd.wait_for("WATCHDOG=1", 500ms));
  idle_host->signal(SIGTERM);
  EXPECT_EQ(idle_host->wait(10s), 0);
  EXPECT_NE(idle_host->out().find("no devices in " + idle), std::string::npos) << idle_host->out();
}

// A host stopped for ten seconds (a paused machine, a stuck disk) says so
// once when it runs again, and blames no unit for the silence it made.
TEST_F(EndToEnd, StalledHostBlamesNoUnit) {
  add_unit({7, {0, 0, 0, 0, 1}});
  sim.start();
  write_config(100);
  auto host = start_host({"--quiet"});
  ASSERT_TRUE(published(7, 3)) << host->out();
  host->signal(SIGSTOP);
  // The stall itself, not a wait for something to happen.
  std::this_thread::sleep_for(10s);
  host->signal(SIGCONT);
  ASSERT_TRUE(published(7, events_of("publish", 7).size() + 10)) << host->out();
  host->interrupt();
  ASSERT_EQ(host->wait(10s), 0);
  const std::string out = host->out();
  const std::regex stall(
      "kpl-host: not running for 1[0-9] s \\(stopped or paused\\); communication checks restart\n");
  EXPECT_EQ(
      std::distance(std::sregex_iterator(out.begin(), out.end(), stall), std::sregex_iterator()), 1)
      << out;
  EXPECT_EQ(out.find("communication lost"), std::string::npos) << out;
  for (const Json::Value& e : events_of("alarm", 7)) EXPECT_NE(e["id"], "communication_lost");
}

}  // namespace
