#include "apps/kpl-host/storage/history_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kplhost {

HistoryLock::HistoryLock(const std::string& database) {
  const std::string path = database + ".lock";
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0640);
  if (fd_ < 0)
    throw HistoryInUse(path + ": cannot make the history's lock file: " + std::strerror(errno));
  if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    char pid[32] = {};
    const ssize_t n = ::pread(fd_, pid, sizeof pid - 1, 0);
    ::close(fd_);
    fd_ = -1;
    if (err != EWOULDBLOCK) throw HistoryInUse(path + ": cannot lock: " + std::strerror(err));
    std::string who = n > 0 ? std::string(pid, static_cast<size_t>(n)) : "";
    while (!who.empty() && (who.back() == '\n' || who.back() == ' ')) who.pop_back();
    throw HistoryInUse(database + ": in use by another kpl-host" +
                       (who.empty() ? "" : " (pid " + who + ")") +
                       "; each host needs a history database of its own (--history)");
  }
  // Whose it is, for the message another host gives.
  const std::string mine = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd_, 0) == 0) (void)!::pwrite(fd_, mine.data(), mine.size(), 0);
}

HistoryLock::~HistoryLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace kplhost
