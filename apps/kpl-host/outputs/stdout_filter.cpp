#include "apps/kpl-host/outputs/stdout_filter.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace kplhost {

namespace {

// The plug-in's lines that may wait for the output, and the longest line
// kept whole.
constexpr size_t max_waiting_lines = 1000;
constexpr size_t max_line = 4096;

void write_all(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

}  // namespace

StdoutFilter::StdoutFilter(int in, int out, ThreadGuard& threads, OnFlood on_flood, DeviceName name)
    : in_(in), out_(out), on_flood_(std::move(on_flood)), name_(std::move(name)) {
  reader_ = threads.start("standard output reader", [this] { read_loop(); });
  writer_ = threads.start("standard output writer", [this] { write_loop(); });
}

StdoutFilter::~StdoutFilter() { finish(); }

void StdoutFilter::push(std::string line, bool keep) {
  {
    std::lock_guard<std::mutex> g(lock_);
    if (!keep) {
      if (droppable_ >= max_waiting_lines) {
        ++dropped_;
        return;
      }
      ++droppable_;
    }
    queue_.emplace_back(std::move(line), keep);
  }
  wake_.notify_one();
}

void StdoutFilter::host_line(const std::string& text) { push(text + "\n", true); }

void StdoutFilter::take(const std::string& line) {
  const auto now = LineLimiter::Clock::now();
  if (limiter_.admit(line, now)) return push(line + "\n", false);
  const long device = LineLimiter::data_id_of(line);
  if (device >= 0 && on_flood_) on_flood_(device, limiter_.suppressed(device));
}

void StdoutFilter::summaries(bool everything) {
  for (const LineLimiter::Summary& s : limiter_.due(LineLimiter::Clock::now(), everything)) {
    const std::string who = s.device >= 0 && name_ ? name_(s.device) + ": " : "";
    push("kpl-host: " + who + std::to_string(s.suppressed) + " more lines like \"" + s.kind +
             "\" suppressed in the last minute\n",
         true);
  }
}

void StdoutFilter::read_loop() {
  std::string partial;
  char buf[8192];
  for (;;) {
    pollfd p{in_, POLLIN, 0};
    ::poll(&p, 1, 1000);
    ssize_t n = 0;
    if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
      n = ::read(in_, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
    }
    for (ssize_t i = 0; i < n; ++i) {
      if (buf[i] == '\n') {
        take(partial);
        partial.clear();
      } else if (partial.size() < max_line) {
        partial += buf[i];
      }
    }
    summaries(false);
  }
  if (!partial.empty()) take(partial);
  summaries(true);
  {
    std::lock_guard<std::mutex> g(lock_);
    reading_done_ = true;
  }
  wake_.notify_one();
}

void StdoutFilter::write_loop() {
  std::unique_lock<std::mutex> g(lock_);
  for (;;) {
    wake_.wait(g, [this] { return reading_done_ || !queue_.empty(); });
    if (queue_.empty()) break;
    auto [line, keep] = std::move(queue_.front());
    queue_.pop_front();
    if (!keep) --droppable_;
    g.unlock();
    write_all(out_, line);
    g.lock();
  }
  if (dropped_ > 0) {
    g.unlock();
    write_all(out_, "kpl-host: " + std::to_string(dropped_.load()) +
                        " lines of the plug-in dropped: standard output did not take them in "
                        "time\n");
  }
}

void StdoutFilter::finish() {
  if (reader_.joinable()) reader_.join();
  if (writer_.joinable()) writer_.join();
}

FilteredStdout::FilteredStdout(ThreadGuard& threads, StdoutFilter::OnFlood on_flood,
                               StdoutFilter::DeviceName name) {
  int p[2];
  std::fflush(stdout);
  real_ = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  if (real_ < 0 || ::pipe2(p, O_CLOEXEC) != 0)
    throw std::runtime_error(std::string("cannot filter standard output: ") + std::strerror(errno));
  read_end_ = p[0];
  ::dup2(p[1], STDOUT_FILENO);
  ::close(p[1]);
  filter_ = std::make_unique<StdoutFilter>(read_end_, real_, threads, std::move(on_flood),
                                           std::move(name));
}

FilteredStdout::~FilteredStdout() {
  // Standard output back where it was: the pipe's last writing end closes,
  // and the reader, having read what was left, ends.
  std::fflush(stdout);
  ::dup2(real_, STDOUT_FILENO);
  filter_->finish();
  filter_.reset();
  ::close(read_end_);
  ::close(real_);
}

}  // namespace kplhost
