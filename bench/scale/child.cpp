#include "bench/scale/child.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace qltbench {

Child::Child(const std::string& program, const std::vector<std::string>& args,
             const std::string& out_path) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&files, 1, 2);
  const int rc = posix_spawn(&pid_, program.c_str(), &files, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&files);
  if (rc != 0) throw std::runtime_error("cannot start " + program + ": " + std::strerror(rc));
}

Child::~Child() {
  if (!reaped_) wait(std::chrono::milliseconds(0));
}

bool Child::running() {
  if (reaped_) return false;
  int st = 0;
  if (waitpid(pid_, &st, WNOHANG) != pid_) return true;
  reaped_ = true;
  status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  return false;
}

int Child::wait(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (running() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  for (int sig : {SIGTERM, SIGKILL}) {
    if (!running()) break;
    kill(pid_, sig);
    for (int i = 0; i < 100 && running(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return status_;
}

}  // namespace qltbench
