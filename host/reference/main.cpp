// kpl-host --plugin PATH --config FILE [--rounds N] [--duration-s S]
//          [--events FILE] [--events-only KIND,...] [--history FILE] [--quiet]

#include <cstdlib>
#include <iostream>
#include <set>
#include <sstream>
#include <string>

#include "host/reference/host_app.h"

namespace {

int usage(const std::string& problem) {
  std::cerr << "kpl-host: " << problem << "\n"
            << "usage: kpl-host --plugin PATH --config FILE [--rounds N] [--duration-s S]\n"
            << "                [--events FILE] [--events-only KIND,...] [--history FILE] [--quiet]\n";
  return 2;
}

bool parse_long(const std::string& s, long& out) {
  char* end = nullptr;
  const long v = std::strtol(s.c_str(), &end, 10);
  if (s.empty() || *end != '\0' || v < 0) return false;
  out = v;
  return true;
}

bool parse_seconds(const std::string& s, double& out) {
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (s.empty() || *end != '\0' || !(v >= 0) || v > 1e9) return false;
  out = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  kplhost::HostOptions opt;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--quiet") {
      opt.quiet = true;
      continue;
    }
    if (i + 1 >= argc) return usage(arg + " needs a value");
    const std::string value = argv[++i];
    if (arg == "--plugin") {
      opt.plugin = value;
    } else if (arg == "--config") {
      opt.config = value;
    } else if (arg == "--events") {
      opt.events = value;
    } else if (arg == "--events-only") {
      std::istringstream kinds(value);
      static const std::set<std::string> known = {"threshold", "alarm_point", "publish",
                                                  "alarm",     "round",       "link"};
      for (std::string k; std::getline(kinds, k, ',');) {
        if (!known.count(k))
          return usage("--events-only: unknown event kind \"" + k +
                       "\" (threshold, alarm_point, publish, alarm, round, link)");
        opt.event_kinds.insert(k);
      }
    } else if (arg == "--history") {
      opt.history = value;
    } else if (arg == "--rounds") {
      if (!parse_long(value, opt.rounds)) return usage("--rounds: expected a whole number, got " + value);
    } else if (arg == "--duration-s") {
      if (!parse_seconds(value, opt.duration_s))
        return usage("--duration-s: expected a number of seconds, got " + value);
    } else {
      return usage("unknown option " + arg);
    }
  }
  if (opt.plugin.empty()) return usage("--plugin is required");
  if (opt.config.empty()) return usage("--config is required");
  return kplhost::run_host(opt);
}
