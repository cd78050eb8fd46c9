// kpl-host run as a child process, as a person or a script runs it, with
// its standard output and error kept in files.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

class HostProcess {
 public:
  // Starts the program with the given arguments; output goes to files in dir.
  // A file_size_limit above 0 caps every file the program writes, as a full
  // disk would (ulimit -f).
  HostProcess(const std::string& program, const std::vector<std::string>& args,
              const std::string& dir, long file_size_limit = 0);
  ~HostProcess();

  // Waits for the exit; kills the process and fails the test if it does not
  // end in time. Returns the exit status (or 128 + signal).
  int wait(std::chrono::milliseconds limit);
  // Whether the process has ended (its status is then kept for wait()).
  bool exited();
  // Asks the host to stop, as an operator's Ctrl-C does.
  void interrupt();
  // Ends it at once, as a power cut or kill -9 does.
  void kill_hard();
  std::string out() const;
  pid_t pid() const { return pid_; }
  std::string err() const;

 private:
  pid_t pid_ = -1;
  std::string out_path_, err_path_;
  bool done_ = false;
  int status_ = -1;
};

std::string read_text(const std::string& path);
// Polls cond until it holds or the limit passes; returns whether it held.
bool eventually(const std::function<bool()>& cond, std::chrono::milliseconds limit);
