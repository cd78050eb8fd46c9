// kpl-host --plugin PATH|NAME --config FILE [--rounds N] [--duration-s S]
//          [--events FILE] [--events-only KIND,...] [--events-trace]
//          [--history FILE] [--http ADDR:PORT [--web-config FILE]] [--quiet]

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "apps/kpl-host/host.h"
#include "apps/kpl-host/options.h"

int main(int argc, char** argv) {
  const kplhost::ParsedOptions parsed =
      kplhost::parse_options(std::vector<std::string>(argv + 1, argv + argc), KPL_PLUGIN_DIR);
  switch (parsed.outcome) {
    case kplhost::ParsedOptions::help:
      std::cout << kplhost::usage(KPL_PLUGIN_DIR);
      return 0;
    case kplhost::ParsedOptions::wrong:
      std::cerr << "kpl-host: " << parsed.problem << "\n" << kplhost::usage(KPL_PLUGIN_DIR);
      return 2;
    case kplhost::ParsedOptions::clash:
      std::cerr << "kpl-host: " << parsed.problem << std::endl;
      return 2;
    case kplhost::ParsedOptions::run:
      break;
  }
  // A file-size limit reached must fail the write that reaches it, which the
  // host reports, rather than end the process.
  std::signal(SIGXFSZ, SIG_IGN);
  kplhost::HostOptions options = parsed.options;
  options.filter_stdout = true;
  return kplhost::run_host(options);
}
