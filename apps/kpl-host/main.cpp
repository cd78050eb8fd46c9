// kpl-host --plugin PATH|NAME --config FILE [--rounds N] [--duration-s S]
//          [--events FILE] [--events-only KIND,...] [--history FILE]
//          [--http ADDR:PORT] [--quiet]

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <set>
#include <sstream>
#include <string>

#include "apps/kpl-host/host.h"
#include "apps/kpl-host/same_file.h"

namespace {

const char kUsage[] =
    "usage: kpl-host --plugin PATH|NAME --config FILE [--rounds N] [--duration-s S]\n"
    "                [--events FILE] [--events-only KIND,...] [--history FILE]\n"
    "                [--http ADDR:PORT] [--quiet]\n"
    "A plug-in NAME without a slash is NAME.so in " KPL_PLUGIN_DIR "; see kpl-host(8).\n";

int usage(const std::string& problem) {
  std::cerr << "kpl-host: " << problem << "\n" << kUsage;
  return 2;
}

// Digits only, from 1 to what long holds here (2147483647 on the 32-bit
// controller): a bigger count is refused, not cut down without a word.
bool parse_long(const std::string& s, long& out) {
  if (s.empty() || s.find_first_not_of("0123456789") != std::string::npos) return false;
  errno = 0;
  const unsigned long long v = std::strtoull(s.c_str(), nullptr, 10);
  if (errno == ERANGE || v < 1 || v > static_cast<unsigned long long>(LONG_MAX)) return false;
  out = static_cast<long>(v);
  return true;
}

// The options that take a value.
bool takes_value(const std::string& arg) {
  static const std::set<std::string> valued = {"--plugin",  "--config",      "--events",
                                               "--history", "--events-only", "--http",
                                               "--rounds",  "--duration-s"};
  return valued.count(arg) > 0;
}

// The files the host reads and the files it writes must all be different:
// an output named like an input would destroy it.
std::string clashing_files(const kplhost::HostOptions& opt) {
  const std::pair<const char*, const std::string*> files[] = {{"--config", &opt.config},
                                                              {"--plugin", &opt.plugin},
                                                              {"--history", &opt.history},
                                                              {"--events", &opt.events}};
  for (size_t out = 2; out < 4; ++out) {
    if (files[out].second->empty()) continue;
    for (size_t other = 0; other < out; ++other)
      if (!files[other].second->empty() &&
          kplhost::same_file(*files[out].second, *files[other].second))
        return std::string(files[out].first) + ": names the same file as " + files[other].first +
               " (" + *files[other].second + "); an output must not overwrite an input";
  }
  return {};
}

// Decimal seconds above 0 ("0.5", "20"); not hexadecimal or an exponent.
bool parse_seconds(const std::string& s, double& out) {
  if (s.empty() || s.find_first_not_of("0123456789.") != std::string::npos) return false;
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (*end != '\0' || !(v > 0) || v > 1e9) return false;
  out = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  kplhost::HostOptions opt;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (arg == "--quiet") {
      opt.quiet = true;
      continue;
    }
    if (!takes_value(arg))
      return usage(arg.rfind('-', 0) == 0 ? "unknown option " + arg : "unexpected argument " + arg);
    if (i + 1 >= argc) return usage(arg + " needs a value");
    const std::string value = argv[++i];
    if (value.empty()) return usage(arg + ": expected a value, got an empty one");
    if (arg == "--plugin") {
      // A name alone is a plug-in installed in the host's plug-in folder;
      // ./name.so is a file in the current one.
      opt.plugin = value.find('/') == std::string::npos
                       ? std::string(KPL_PLUGIN_DIR) + "/" + value + ".so"
                       : value;
    } else if (arg == "--config") {
      opt.config = value;
    } else if (arg == "--events") {
      opt.events = value;
    } else if (arg == "--events-only") {
      std::istringstream kinds(value);
      static const std::set<std::string> known = {"threshold", "alarm_point", "publish", "alarm",
                                                  "round",     "link",        "history", "device",
                                                  "config",    "mqtt"};
      for (std::string k; std::getline(kinds, k, ',');) {
        if (!known.count(k))
          return usage("--events-only: unknown event kind \"" + k +
                       "\" (threshold, alarm_point, publish, alarm, round, link, history, device, "
                       "config, mqtt)");
        opt.event_kinds.insert(k);
      }
    } else if (arg == "--http") {
      opt.http = value;
    } else if (arg == "--history") {
      opt.history = value;
    } else if (arg == "--rounds") {
      if (!parse_long(value, opt.rounds))
        return usage("--rounds: expected a whole number from 1 to " + std::to_string(LONG_MAX) +
                     ", got " + value);
    } else if (arg == "--duration-s") {
      if (!parse_seconds(value, opt.duration_s))
        return usage("--duration-s: expected a number of seconds above 0, got " + value);
    }
  }
  if (opt.plugin.empty()) return usage("--plugin is required");
  if (opt.config.empty()) return usage("--config is required");
  const std::string clash = clashing_files(opt);
  if (!clash.empty()) {
    std::cerr << "kpl-host: " << clash << std::endl;
    return 2;
  }
  // A file-size limit reached must fail the write that reaches it, which the
  // host reports, rather than end the process.
  std::signal(SIGXFSZ, SIG_IGN);
  return kplhost::run_host(opt);
}
