#include "apps/kpl-host/options.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <utility>

#include "apps/kpl-host/core/event_kinds.h"
#include "apps/kpl-host/same_file.h"

namespace kplhost {

namespace {

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

// Decimal seconds above 0 ("0.5", "20"); not hexadecimal or an exponent.
bool parse_seconds(const std::string& s, double& out) {
  if (s.empty() || s.find_first_not_of("0123456789.") != std::string::npos) return false;
  char* end = nullptr;
  const double v = std::strtod(s.c_str(), &end);
  if (*end != '\0' || !(v > 0) || v > 1e9) return false;
  out = v;
  return true;
}

// The options that take a value.
bool takes_value(const std::string& arg) {
  static const std::set<std::string> valued = {"--plugin",  "--config",      "--events",
                                               "--history", "--events-only", "--http",
                                               "--rounds",  "--duration-s",  "--web-config"};
  return valued.count(arg) > 0;
}

// The files the host reads and the files it writes must all be different:
// an output named like an input would destroy it.
std::string clashing_files(const HostOptions& opt) {
  const std::pair<const char*, const std::string*> files[] = {{"--config", &opt.config},
                                                              {"--plugin", &opt.plugin},
                                                              {"--web-config", &opt.web_config},
                                                              {"--history", &opt.history},
                                                              {"--events", &opt.events}};
  for (size_t out = 3; out < 5; ++out) {
    if (files[out].second->empty()) continue;
    for (size_t other = 0; other < out; ++other)
      if (!files[other].second->empty() && same_file(*files[out].second, *files[other].second))
        return std::string(files[out].first) + ": names the same file as " + files[other].first +
               " (" + *files[other].second + "); an output must not overwrite an input";
  }
  return {};
}

}  // namespace

std::string usage(const std::string& plugin_dir) {
  return "usage: kpl-host --plugin PATH|NAME --config FILE [--rounds N] [--duration-s S]\n"
         "                [--events FILE] [--events-only KIND,...] [--events-trace]\n"
         "                [--history FILE] [--http ADDR:PORT [--web-config FILE]] [--quiet]\n"
         "A plug-in NAME without a slash is NAME.so in " +
         plugin_dir + "; see kpl-host(8).\n";
}

ParsedOptions parse_options(const std::vector<std::string>& args, const std::string& plugin_dir) {
  ParsedOptions r;
  HostOptions& opt = r.options;
  // --events-only names the kinds in place of the operator's; --events-trace
  // adds the per-round trace to whichever set that is.
  std::set<std::string> only;
  bool trace = false;
  auto wrong = [&r](std::string problem) {
    r.outcome = ParsedOptions::wrong;
    r.problem = std::move(problem);
    return r;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      r.outcome = ParsedOptions::help;
      return r;
    }
    if (arg == "--quiet") {
      opt.quiet = true;
      continue;
    }
    if (arg == "--events-trace") {
      trace = true;
      continue;
    }
    if (!takes_value(arg))
      return wrong(arg.rfind('-', 0) == 0 ? "unknown option " + arg : "unexpected argument " + arg);
    if (i + 1 >= args.size()) return wrong(arg + " needs a value");
    const std::string& value = args[++i];
    if (value.empty()) return wrong(arg + ": expected a value, got an empty one");
    if (arg == "--plugin") {
      // A name alone is a plug-in installed in the host's plug-in folder;
      // ./name.so is a file in the current one.
      opt.plugin = value.find('/') == std::string::npos ? plugin_dir + "/" + value + ".so" : value;
    } else if (arg == "--config") {
      opt.config = value;
    } else if (arg == "--events") {
      opt.events = value;
    } else if (arg == "--events-only") {
      const std::string problem = add_event_kinds(value, only);
      if (!problem.empty()) return wrong("--events-only: " + problem);
    } else if (arg == "--http") {
      opt.http = value;
    } else if (arg == "--web-config") {
      opt.web_config = value;
    } else if (arg == "--history") {
      opt.history = value;
    } else if (arg == "--rounds") {
      if (!parse_long(value, opt.rounds))
        return wrong("--rounds: expected a whole number from 1 to " + std::to_string(LONG_MAX) +
                     ", got " + value);
    } else if (arg == "--duration-s") {
      if (!parse_seconds(value, opt.duration_s))
        return wrong("--duration-s: expected a number of seconds above 0, got " + value);
    }
  }
  if (!only.empty()) opt.event_kinds = only;
  if (trace) add_trace_kinds(opt.event_kinds);
  if (opt.plugin.empty()) return wrong("--plugin is required");
  if (opt.config.empty()) return wrong("--config is required");
  if (!opt.web_config.empty() && opt.http.empty())
    return wrong("--web-config is for the endpoint of --http, which is not given");
  const std::string clash = clashing_files(opt);
  if (!clash.empty()) {
    r.outcome = ParsedOptions::clash;
    r.problem = clash;
  }
  return r;
}

}  // namespace kplhost
