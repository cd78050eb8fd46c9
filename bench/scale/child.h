// A program this harness starts, with its output in files; it is stopped
// by its own process id only.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace qltbench {

class Child {
 public:
  // Starts program with args; standard output and error go to out_path.
  // Throws std::runtime_error when it cannot be started.
  Child(const std::string& program, const std::vector<std::string>& args,
        const std::string& out_path);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }
  bool running();
  // Waits for the exit; past the limit sends SIGTERM, then SIGKILL. Returns
  // the exit status, or 128 + the signal that ended it.
  int wait(std::chrono::milliseconds limit);

 private:
  pid_t pid_ = -1;
  bool reaped_ = false;
  int status_ = -1;
};

}  // namespace qltbench
