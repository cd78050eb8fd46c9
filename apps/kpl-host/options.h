// kpl-host's command line: what it asks the host to do, read and checked in
// one function so that every refusal is said the same way, and tested
// without starting a process.
#pragma once

#include <json/value.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "apps/kpl-host/core/event_kinds.h"

struct HostServices;

namespace kplhost {

struct HostOptions {
  std::string plugin;
  // The config file; when empty, config_document is the configuration.
  std::string config;
  Json::Value config_document;
  std::string events;
  // Event kinds written to the event stream: the operator's unless asked
  // otherwise (core/event_kinds.h).
  std::set<std::string> event_kinds = default_event_kinds();
  std::string history = "kpl-history.db";
  // Stop once every device has published this many images; 0: no limit.
  long rounds = 0;
  // Stop after this many seconds whatever happened; 0: no limit.
  double duration_s = 0;
  bool quiet = false;
  // "ADDR:PORT" of the status page, metrics and API; empty: none.
  std::string http;
  // The endpoint's TLS and users, in the exporters' web configuration
  // format; empty: plain HTTP, read-only, without authentication.
  std::string web_config;
  // Off for measurements that start each pass themselves.
  bool polling = true;
  // Standard output through the limiter of diagnostic lines; set by the
  // program, which owns its standard output, not by tests run in-process.
  bool filter_stdout = false;
  // Lets a measurement put its own services in front of the host's; called
  // once, before the first device is made.
  std::function<void(HostServices&)> wrap_services;
};

struct ParsedOptions {
  enum Outcome {
    run,    // options holds what to do
    help,   // print usage() and end well
    wrong,  // print "kpl-host: <problem>", then usage(), and end with 2
    clash,  // print "kpl-host: <problem>" alone and end with 2
  };
  Outcome outcome = run;
  HostOptions options;
  std::string problem;
};

// args: the arguments after the program name. plugin_dir: where a plug-in
// named without a slash is found, as NAME.so.
ParsedOptions parse_options(const std::vector<std::string>& args, const std::string& plugin_dir);
std::string usage(const std::string& plugin_dir);

}  // namespace kplhost
