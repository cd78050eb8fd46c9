// One host to a history database: a second host on the same file would
// interleave its rows, share the alarm states and send the same outbox
// twice. The lock is an flock on FILE.lock beside the database (never on
// the database itself, whose POSIX locks belong to SQLite), held for the
// host's life and let go by the kernel however the host ends.
#pragma once

#include <stdexcept>
#include <string>

namespace kplhost {

class HistoryInUse : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class HistoryLock {
 public:
  // Throws HistoryInUse naming the other host's process when it holds the
  // lock, and for a lock file that cannot be made.
  explicit HistoryLock(const std::string& database);
  ~HistoryLock();
  HistoryLock(const HistoryLock&) = delete;
  HistoryLock& operator=(const HistoryLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace kplhost
