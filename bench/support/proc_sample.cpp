#include "bench/support/proc_sample.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "testkit/process.h"

namespace qltbench {

namespace {

struct CpuTimes {
  double total_s, system_s;
};

// utime + stime and stime of a stat file, in seconds. Fields are counted
// after the command name, which may hold spaces but ends at the last ')'.
CpuTimes stat_cpu(const std::string& path) {
  const std::string text = read_text(path);
  const size_t paren = text.rfind(')');
  if (text.empty()) throw std::runtime_error(path + ": cannot be read");
  if (paren == std::string::npos) throw std::runtime_error(path + ": unexpected contents");
  std::istringstream fields(text.substr(paren + 2));
  std::string f;
  // Field 3 (state) is the first after the name; utime and stime are 14 and 15.
  unsigned long long utime = 0, stime = 0;
  for (int field = 3; field <= 15 && fields >> f; ++field) {
    if (field == 14) utime = std::stoull(f);
    if (field == 15) stime = std::stoull(f);
  }
  const auto tick = static_cast<double>(sysconf(_SC_CLK_TCK));
  return {static_cast<double>(utime + stime) / tick, static_cast<double>(stime) / tick};
}

long status_kib(const std::string& path, const std::string& key) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line))
    if (line.compare(0, key.size(), key) == 0) return std::atol(line.c_str() + key.size());
  return 0;
}

}  // namespace

ProcSample sample_process(pid_t pid) {
  const std::string dir = "/proc/" + std::to_string(pid);
  ProcSample s;
  const CpuTimes all = stat_cpu(dir + "/stat");
  s.cpu_s = all.total_s;
  s.system_s = all.system_s;
  s.rss_kib = status_kib(dir + "/status", "VmRSS:");
  s.peak_rss_kib = status_kib(dir + "/status", "VmHWM:");
  if (DIR* tasks = opendir((dir + "/task").c_str())) {
    while (const dirent* e = readdir(tasks)) {
      if (e->d_name[0] == '.') continue;
      try {
        s.thread_cpu_s[std::atoi(e->d_name)] =
            stat_cpu(dir + "/task/" + e->d_name + "/stat").total_s;
      } catch (const std::exception&) {
        // A thread that ended between the listing and the read.
      }
    }
    closedir(tasks);
  }
  return s;
}

}  // namespace qltbench
