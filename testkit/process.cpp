#include "testkit/process.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

// Under an emulator (cross builds: no binfmt_misc to hand an ARM binary to
// qemu) the programs have to be started through it as well.
#ifndef QLT_EXEC_LAUNCHER
#define QLT_EXEC_LAUNCHER ""
#endif

namespace {

// The project's own programs, named by their path in the build, run under
// the emulator the tests run under; a tool of the machine's, named alone
// ("chromium", "promtool"), is the machine's own and runs as it is.
std::vector<std::string> exec_words(const std::string& program,
                                    const std::vector<std::string>& args) {
  std::vector<std::string> words;
  std::istringstream launcher(program.find('/') == std::string::npos ? "" : QLT_EXEC_LAUNCHER);
  for (std::string word; launcher >> word;) words.push_back(word);
  words.push_back(program);
  words.insert(words.end(), args.begin(), args.end());
  return words;
}

// A descriptor that is closed when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

int open_output(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw std::runtime_error(path + ": " + std::strerror(errno));
  return fd;
}

// In the child, between fork and exec: system calls only. An exec that
// fails writes its errno to report.
[[noreturn]] void exec_child(char* const* argv, int out, int err, int report,
                             long file_size_limit) {
  ::dup2(out, 1);
  ::dup2(err, 2);
  // The caller's own sockets (a simulated unit's listener among them) must
  // not live on in the program: a unit could not listen on its port again.
  for (int fd = 3; fd < 1024; ++fd)
    if (fd != report) ::close(fd);
  if (file_size_limit > 0) {
    const rlimit limit{static_cast<rlim_t>(file_size_limit), static_cast<rlim_t>(file_size_limit)};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ::execvp(argv[0], argv);
  const int e = errno;
  (void)!::write(report, &e, sizeof e);
  ::_exit(127);
}

int status_of(int wait_status) {
  return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
}

}  // namespace

ProcessOutput ProcessOutput::files_in(const std::string& dir, const std::string& program) {
  static std::atomic<int> started{0};
  const std::string name = program.substr(program.rfind('/') + 1);
  const std::string stem =
      dir + "/" + name + "-" + std::to_string(::getpid()) + "-" + std::to_string(++started);
  return {stem + ".out", stem + ".err"};
}

Process::Process(const std::string& program, const std::vector<std::string>& args,
                 const ProcessOutput& output, long file_size_limit)
    : program_(program), output_(output) {
  std::vector<std::string> words = exec_words(program, args);
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  const Fd out(open_output(output.out_path));
  const Fd err(output.err_path.empty() ? -1 : open_output(output.err_path));
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) throw std::runtime_error("no pipe for " + program);
  const Fd report_read(report[0]);
  {
    const Fd report_write(report[1]);
    pid_ = ::fork();
    if (pid_ == 0)
      exec_child(argv.data(), out.get(), err.get() >= 0 ? err.get() : out.get(), report[1],
                 file_size_limit);
    if (pid_ < 0)
      throw std::runtime_error("cannot fork for " + program + ": " + std::strerror(errno));
  }
  // The report pipe closes unread when the exec succeeds.
  int exec_errno = 0;
  ssize_t n;
  while ((n = ::read(report_read.get(), &exec_errno, sizeof exec_errno)) < 0 && errno == EINTR) {
  }
  if (n > 0) {
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
    throw std::runtime_error("cannot start " + program + ": " + std::strerror(exec_errno));
  }
}

Process::~Process() {
  if (pid_ > 0) kill_hard();
}

bool Process::exited() {
  if (status_ >= 0) return true;
  int st = 0;
  const pid_t r = ::waitpid(pid_, &st, WNOHANG);
  if (r == 0 || (r < 0 && errno == EINTR)) return false;
  status_ = status_of(st);
  return true;
}

bool Process::ends_within(std::chrono::milliseconds limit) {
  return eventually([this] { return exited(); }, limit);
}

int Process::wait(std::chrono::milliseconds limit) {
  if (ends_within(limit)) return status_;
  std::fprintf(stderr, "%s did not end within %lld ms and was killed; its output:\n%s\n",
               program_.c_str(), static_cast<long long>(limit.count()), out().c_str());
  kill_hard();
  return status_;
}

int Process::stop(std::chrono::milliseconds grace) {
  signal(SIGTERM);
  if (!ends_within(grace)) kill_hard();
  return status_;
}

void Process::signal(int sig) {
  // An ended program that is not yet reaped keeps its id: no other process
  // can have it.
  if (status_ < 0) ::kill(pid_, sig);
}

void Process::kill_hard() {
  if (status_ >= 0) return;
  ::kill(pid_, SIGKILL);
  int st = 0;
  while (::waitpid(pid_, &st, 0) < 0 && errno == EINTR) {
  }
  status_ = status_of(st);
}

std::string Process::out() const { return read_text(output_.out_path); }

std::string Process::err() const {
  return read_text(output_.err_path.empty() ? output_.out_path : output_.err_path);
}

std::string Process::next_line(std::chrono::milliseconds within) {
  std::string rest;
  eventually(
      [&] {
        const std::string text = out();
        rest = text.substr(std::min(lines_read_, text.size()));
        return rest.find('\n') != std::string::npos;
      },
      within);
  const size_t end = rest.find('\n');
  lines_read_ += end == std::string::npos ? rest.size() : end + 1;
  return rest.substr(0, end);
}

std::string read_text(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool eventually(const std::function<bool()>& cond, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!cond()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

unsigned short printed_port(const Process& host) {
  const std::string mark = "status page http://127.0.0.1:";
  unsigned short port = 0;
  eventually(
      [&] {
        const std::string out = host.out();
        const size_t at = out.find(mark);
        if (at != std::string::npos)
          port = static_cast<unsigned short>(std::stoi(out.substr(at + mark.size())));
        return port != 0;
      },
      std::chrono::seconds(10));
  return port;
}
