// One of the project's programs run as a child process, as a person or a
// script runs it, with its standard output and error kept in files. It is
// signalled by its own process id only.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// Where a program's standard output and error go.
struct ProcessOutput {
  std::string out_path;
  // Empty: standard error goes to out_path as well.
  std::string err_path;

  // A pair of files in dir, named after the program, that no other program
  // started by this process writes.
  static ProcessOutput files_in(const std::string& dir, const std::string& program);
};

class Process {
 public:
  // Starts program with args: a path, through the emulator the tests run
  // under when there is one; a name alone, from PATH, as it is. The program inherits no descriptor
  // but the standard three. A file_size_limit above 0 caps every file the program writes, as a full
  // disk would (ulimit -f). Throws std::runtime_error when the output files
  // cannot be made or the program cannot be started.
  Process(const std::string& program, const std::vector<std::string>& args,
          const ProcessOutput& output, long file_size_limit = 0);
  // Kills the program if it is still running.
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  pid_t pid() const { return pid_; }
  // Whether the program has ended (its status is then kept).
  bool exited();
  // Whether it ends within the limit.
  bool ends_within(std::chrono::milliseconds limit);
  // The exit status, or 128 + the signal that ended it; -1 while it runs.
  int status() const { return status_; }
  // Waits for the end and returns the status. Past the limit the program is
  // killed, which is said on standard error with the program's output.
  int wait(std::chrono::milliseconds limit);
  // Asks the program to end (SIGTERM), kills it if it has not after grace,
  // and returns the status.
  int stop(std::chrono::milliseconds grace);

  void signal(int sig);
  // Asks it to stop, as an operator's Ctrl-C does.
  void interrupt() { signal(SIGINT); }
  // Ends it at once, as a power cut or kill -9 does.
  void kill_hard();

  std::string out() const;
  std::string err() const;
  // The next line of standard output, after those this returned before;
  // what there is of it when no whole line comes within the time.
  std::string next_line(std::chrono::milliseconds within);

 private:
  std::string program_;
  ProcessOutput output_;
  pid_t pid_ = -1;
  int status_ = -1;
  size_t lines_read_ = 0;
};

std::string read_text(const std::string& path);
// Polls cond until it holds or the limit passes; returns whether it held.
bool eventually(const std::function<bool()>& cond, std::chrono::milliseconds limit);
// The port of the endpoint a kpl-host says it serves on loopback ("status
// page http://127.0.0.1:PORT/"), once it has said it within ten seconds; 0
// when it has not.
unsigned short printed_port(const Process& host);
