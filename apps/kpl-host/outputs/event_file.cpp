#include "apps/kpl-host/outputs/event_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace kplhost {

namespace {

int open_for_append(const std::string& path, long long& size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  struct stat st {};
  if (fd >= 0 && ::fstat(fd, &st) == 0) {
    size = st.st_size;
    return fd;
  }
  const int err = errno;
  if (fd >= 0) ::close(fd);
  errno = err;
  return -1;
}

}  // namespace

EventFile::EventFile(std::string path, Bounds bounds, ThreadGuard& threads, Report report)
    : path_(std::move(path)), bounds_(bounds), report_(std::move(report)) {
  fd_ = open_for_append(path_, size_);
  if (fd_ < 0)
    throw std::runtime_error(path_ + ": cannot open the event file: " + std::strerror(errno));
  rotate_at_ = bounds_.max_bytes;
  syncer_ = threads.start("event stream sync", [this] { sync_when_asked(); });
}

EventFile::~EventFile() {
  {
    std::lock_guard<std::mutex> g(sync_lock_);
    closing_ = true;
  }
  sync_wake_.notify_one();
  syncer_.join();
  for (int fd : retired_) ::close(fd);
  ::close(fd_);
}

int EventFile::append(const std::string& line) {
  std::lock_guard<std::mutex> g(lock_);
  const auto length = static_cast<long long>(line.size());
  if (bounds_.max_bytes > 0 && size_ > 0 && size_ + length > rotate_at_) rotate();
  size_t done = 0;
  int err = 0;
  while (done < line.size()) {
    const ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      err = n < 0 ? errno : ENOSPC;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (err == 0) {
    size_ += length;
    return 0;
  }
  // Whatever part of the line went out is cut off again, so the file holds
  // whole lines only.
  if (done > 0 && ::ftruncate(fd_, static_cast<off_t>(size_)) != 0)
    size_ += static_cast<long long>(done);
  return err;
}

void EventFile::rotate() {
  // The oldest goes first and every other moves up one, so that no rename
  // lands on a file not yet moved.
  ::unlink(numbered(bounds_.keep).c_str());
  for (int n = bounds_.keep - 1; n >= 1; --n)
    ::rename(numbered(n).c_str(), numbered(n + 1).c_str());
  // A file an outside rotation has just renamed is theirs now: a new one
  // is opened all the same.
  std::string trouble;
  if (::rename(path_.c_str(), numbered(1).c_str()) != 0 && errno != ENOENT)
    trouble = "cannot rename it to " + numbered(1) + ": " + std::strerror(errno);
  long long size = 0;
  const int fd = trouble.empty() ? open_for_append(path_, size) : -1;
  if (trouble.empty() && fd < 0)
    trouble = "cannot open a new one: " + std::string(std::strerror(errno));
  if (!trouble.empty()) {
    // The lines go on into the file there is, and rotation is tried again a
    // little further on.
    rotate_at_ = size_ + bounds_.max_bytes / 8 + 1;
    if (!rotation_failing_ && report_)
      report_("event stream: cannot rotate " + path_ + ": " + trouble + "; writing on to it");
    rotation_failing_ = true;
    return;
  }
  if (rotation_failing_ && report_) report_("event stream: rotating " + path_ + " again");
  rotation_failing_ = false;
  take(fd, size);
}

void EventFile::take(int fd, long long size) {
  retire(fd_);
  fd_ = fd;
  size_ = size;
  rotate_at_ = bounds_.max_bytes;
}

std::string EventFile::reopen() {
  std::lock_guard<std::mutex> g(lock_);
  long long size = 0;
  const int fd = open_for_append(path_, size);
  if (fd < 0) return path_ + ": cannot open the event file: " + std::strerror(errno);
  take(fd, size);
  return {};
}

void EventFile::force() {
  {
    std::lock_guard<std::mutex> g(sync_lock_);
    sync_asked_ = true;
  }
  sync_wake_.notify_one();
}

void EventFile::retire(int fd) {
  {
    std::lock_guard<std::mutex> g(sync_lock_);
    retired_.push_back(fd);
    directory_changed_ = true;
  }
  sync_wake_.notify_one();
}

void EventFile::sync_directory() const {
  const size_t slash = path_.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : path_.substr(0, slash + 1);
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Only this thread closes a file let go, so a descriptor it has taken stays
// open while it forces it, whatever the writers do meanwhile.
void EventFile::sync_when_asked() {
  std::unique_lock<std::mutex> g(sync_lock_);
  for (;;) {
    sync_wake_.wait(g, [this] { return sync_asked_ || !retired_.empty() || closing_; });
    const bool last = closing_;
    const bool asked = sync_asked_;
    const bool renamed = directory_changed_;
    std::vector<int> retired;
    retired.swap(retired_);
    sync_asked_ = directory_changed_ = false;
    g.unlock();
    for (int fd : retired) {
      ::fdatasync(fd);
      ::close(fd);
    }
    // The new names must last as the lines in the files do.
    if (renamed) sync_directory();
    if (asked) {
      int fd;
      {
        std::lock_guard<std::mutex> f(lock_);
        fd = fd_;
      }
      ::fdatasync(fd);
    }
    g.lock();
    if (last) return;
  }
}

}  // namespace kplhost
