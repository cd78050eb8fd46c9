#include "tests/e2e/host_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "testkit/exec_argv.h"

namespace {
int counter = 0;
}

HostProcess::HostProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& dir, long file_size_limit) {
  const std::string tag = std::to_string(getpid()) + "-" + std::to_string(++counter);
  out_path_ = dir + "/host-" + tag + ".out";
  err_path_ = dir + "/host-" + tag + ".err";
  std::vector<std::string> argv_s = exec_argv(program);
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_s) argv.push_back(a.data());
  argv.push_back(nullptr);

  pid_ = fork();
  if (pid_ == 0) {
    const int out = open(out_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(err, 2);
    // The test's own sockets (a simulated unit's listener among them) must
    // not live on in the host: a unit could not listen on its port again.
    for (int fd = 3; fd < 1024; ++fd) close(fd);
    if (file_size_limit > 0) {
      const rlimit limit{static_cast<rlim_t>(file_size_limit), static_cast<rlim_t>(file_size_limit)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
}

HostProcess::~HostProcess() {
  if (!done_ && pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

bool HostProcess::exited() {
  if (done_) return true;
  int st = 0;
  if (waitpid(pid_, &st, WNOHANG) == 0) return false;
  done_ = true;
  status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  return true;
}

int HostProcess::wait(std::chrono::milliseconds limit) {
  if (!eventually([this] { return exited(); }, limit)) {
    kill(pid_, SIGKILL);
    int st = 0;
    waitpid(pid_, &st, 0);
    done_ = true;
    status_ = 128 + SIGKILL;
    ADD_FAILURE() << "kpl-host did not end within " << limit.count() << " ms\n" << out();
  }
  return status_;
}

void HostProcess::interrupt() {
  if (!done_) kill(pid_, SIGINT);
}

void HostProcess::kill_hard() {
  if (done_) return;
  kill(pid_, SIGKILL);
  int st = 0;
  waitpid(pid_, &st, 0);
  done_ = true;
  status_ = 128 + SIGKILL;
}

std::string read_text(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string HostProcess::out() const { return read_text(out_path_); }
std::string HostProcess::err() const { return read_text(err_path_); }

bool eventually(const std::function<bool()>& cond, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!cond()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}
