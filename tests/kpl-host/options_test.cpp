// kpl-host's command line, and a start refused for what it names: every
// refusal said in one line, with exit status 2, and no file touched.

#include "apps/kpl-host/options.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "apps/kpl-host/host.h"
#include "testkit/process.h"
#include "testkit/temp_path.h"

namespace {

using kplhost::parse_options;
using kplhost::ParsedOptions;

class Options : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
    std::ofstream(config) << R"({"devices": []})";
  }
  void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

  const std::string dir = unique_temp_path("");
  const std::string config = dir + "/host.json";
};

// The arguments of a command line written as one, split at spaces; '' is an
// empty one.
std::vector<std::string> words(const std::string& line) {
  std::vector<std::string> out;
  std::istringstream in(line);
  for (std::string w; in >> w;) out.push_back(w == "''" ? "" : w);
  return out;
}

TEST_F(Options, RefusalsSayWhatIsWrong) {
  const std::string max = std::to_string(LONG_MAX);
  const std::string kinds =
      "threshold, alarm_point, publish, round, alarm, acknowledged, link, device, health, "
      "history, config, mqtt";
  const std::pair<std::string, std::string> wrong[] = {
      {"--config x.json", "--plugin is required"},
      {"--plugin p", "--config is required"},
      {"--plugin p --config ''", "--config: expected a value, got an empty one"},
      {"--plugin p --config c --history ''", "--history: expected a value, got an empty one"},
      {"--plugin p --config c --rounds", "--rounds needs a value"},
      {"--plugin p --config c --rounds many",
       "--rounds: expected a whole number from 1 to " + max + ", got many"},
      {"--plugin p --config c --rounds 0",
       "--rounds: expected a whole number from 1 to " + max + ", got 0"},
      {"--plugin p --config c --rounds 99999999999999999999",
       "--rounds: expected a whole number from 1 to " + max + ", got 99999999999999999999"},
      {"--plugin p --config c --duration-s 0x10",
       "--duration-s: expected a number of seconds above 0, got 0x10"},
      {"--plugin p --config c --duration-s 1e3",
       "--duration-s: expected a number of seconds above 0, got 1e3"},
      {"--plugin p --config c --bogus --quiet", "unknown option --bogus"},
      {"--plugin p --config c --quiet extra", "unexpected argument extra"},
      {"--plugin p --config c --events-only alarm,bogus",
       "--events-only: unknown event kind \"bogus\" (" + kinds + ")"},
  };
  for (const auto& [line, problem] : wrong) {
    const ParsedOptions parsed = parse_options(words(line), "/usr/lib/kpl");
    EXPECT_EQ(parsed.outcome, ParsedOptions::wrong) << line;
    EXPECT_EQ(parsed.problem, problem);
  }
  // An operator's slips: an output named like an input, under another
  // spelling, is refused before anything is opened.
  const std::string folder = dir.substr(dir.rfind('/') + 1);
  const std::string overwrite = "; an output must not overwrite an input";
  const std::pair<std::string, std::string> clash[] = {
      {"--events " + dir + "/../" + folder + "/host.json",
       "--events: names the same file as --config (" + config + ")" + overwrite},
      {"--history " + dir + "/./h.db --events " + dir + "/h.db",
       "--events: names the same file as --history (" + dir + "/./h.db)" + overwrite},
      {"--history " + config,
       "--history: names the same file as --config (" + config + ")" + overwrite},
  };
  for (const auto& [line, problem] : clash) {
    const ParsedOptions parsed =
        parse_options(words("--plugin p --config " + config + " " + line), "/usr/lib/kpl");
    EXPECT_EQ(parsed.outcome, ParsedOptions::clash) << line;
    EXPECT_EQ(parsed.problem, problem);
  }
  for (const char* line : {"--plugin p --config c --help", "-h"})
    EXPECT_EQ(parse_options(words(line), "/usr/lib/kpl").outcome, ParsedOptions::help) << line;
}

TEST_F(Options, WhatARunIsAskedToDo) {
  ParsedOptions parsed =
      parse_options({"--plugin", "qltmodel", "--config", config, "--rounds", "3", "--duration-s",
                     "0.5", "--events", "e.jsonl", "--events-only", "alarm,mqtt", "--history",
                     "h.db", "--http", "127.0.0.1:0", "--quiet"},
                    "/usr/lib/kpl");
  ASSERT_EQ(parsed.outcome, ParsedOptions::run) << parsed.problem;
  const kplhost::HostOptions& o = parsed.options;
  // A name alone is a plug-in of the host's plug-in folder.
  EXPECT_EQ(o.plugin, "/usr/lib/kpl/qltmodel.so");
  EXPECT_EQ(o.config, config);
  EXPECT_EQ(o.rounds, 3);
  EXPECT_DOUBLE_EQ(o.duration_s, 0.5);
  EXPECT_EQ(o.events, "e.jsonl");
  EXPECT_EQ(o.event_kinds, (std::set<std::string>{"alarm", "mqtt"}));
  EXPECT_EQ(o.history, "h.db");
  EXPECT_EQ(o.http, "127.0.0.1:0");
  EXPECT_TRUE(o.quiet);

  parsed = parse_options({"--plugin", "./qltmodel.so", "--config", config}, "/usr/lib/kpl");
  ASSERT_EQ(parsed.outcome, ParsedOptions::run);
  EXPECT_EQ(parsed.options.plugin, "./qltmodel.so");
  EXPECT_EQ(parsed.options.history, "kpl-history.db");
  EXPECT_EQ(parsed.options.rounds, 0);

  // The event kinds: the operator's by default, the per-round trace added by
  // --events-trace, to a list of one's own too.
  const std::pair<std::string, std::string> kinds[] = {
      {"", "acknowledged,alarm,config,device,health,history,link,mqtt"},
      {"--events-trace",
       "acknowledged,alarm,alarm_point,config,device,health,history,link,mqtt,publish,round,"
       "threshold"},
      {"--events-only publish,alarm", "alarm,publish"},
      {"--events-trace --events-only alarm", "alarm,alarm_point,publish,round,threshold"},
  };
  for (const auto& [line, expected] : kinds) {
    parsed = parse_options(words("--plugin p --config c " + line), "/usr/lib/kpl");
    ASSERT_EQ(parsed.outcome, ParsedOptions::run) << line;
    std::string all;
    for (const std::string& k : parsed.options.event_kinds) all += (all.empty() ? "" : ",") + k;
    EXPECT_EQ(all, expected) << line;
  }
}

// What keeps the host from starting is one line on standard error, and
// status 2; the files it names are left as they were.
TEST_F(Options, StartRefusedWithStatusTwo) {
  struct Case {
    std::string plugin, config;
    std::string line;
  };
  const Case cases[] = {
      {"p.so", "/nonexistent/host.json", "kpl-host: /nonexistent/host.json: cannot be read\n"},
      {dir + "/none.so", config,
       "kpl-host: cannot load plug-in: " + dir +
           "/none.so: cannot open shared object file: No such file or directory\n"},
  };
  for (const Case& c : cases) {
    kplhost::HostOptions options;
    options.plugin = c.plugin;
    options.config = c.config;
    options.history = dir + "/history.db";
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(kplhost::run_host(options), 2);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.line);
  }
  EXPECT_EQ(read_text(config), R"({"devices": []})");
}

}  // namespace
