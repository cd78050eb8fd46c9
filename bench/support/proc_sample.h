// What /proc tells of a running process: the CPU time it has used, in all
// and per thread, and its resident memory.
#pragma once

#include <sys/types.h>

#include <map>

namespace qltbench {

struct ProcSample {
  double cpu_s = 0;
  // The part spent in the kernel on the process's behalf.
  double system_s = 0;
  // Thread id to its CPU seconds.
  std::map<pid_t, double> thread_cpu_s;
  long rss_kib = 0;
  long peak_rss_kib = 0;
};

// Throws std::runtime_error when the process is gone.
ProcSample sample_process(pid_t pid);

}  // namespace qltbench
