// The event stream's file on disk, bounded. Each line goes in whole, by one
// write, or not at all: a partial write is cut off again. Past its size the
// file is rotated, FILE to FILE.1, FILE.1 to FILE.2 and so on, the oldest
// beyond `keep` deleted: every rename is atomic and happens between two
// lines, so a line is in one file whole, and a crash at any point of a
// rotation loses none (at worst a number is missing from the row of old
// files). reopen() takes FILE anew after an outside logrotate renamed it.
// Forcing lines to the disk, and closing a file a rotation let go, happen
// on a thread of the file's own, so that no caller waits for a slow disk.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "apps/kpl-host/core/thread_guard.h"

namespace kplhost {

class EventFile {
 public:
  struct Bounds {
    // Rotated before a line would take the file past this; 0: never.
    long long max_bytes = 0;
    // Old files kept: FILE.1 (the newest) to FILE.keep.
    int keep = 1;
  };
  // Told of a rotation that could not be made (the file then grows on until
  // one can), once for each such trouble.
  using Report = std::function<void(const std::string&)>;

  // Opens the file for appending, creating it if need be, never truncating
  // it; throws std::runtime_error naming it. threads: where its own thread
  // says that it failed.
  EventFile(std::string path, Bounds bounds, ThreadGuard& threads, Report report = nullptr);
  ~EventFile();
  EventFile(const EventFile&) = delete;
  EventFile& operator=(const EventFile&) = delete;

  // Appends one line, ending in a newline: 0 when written whole, otherwise
  // the error that kept it out (the line is then not in the file at all).
  int append(const std::string& line);
  // Asks the file's thread to force what has been written to the disk.
  void force();
  // Opens the file by its name again; the file let go is forced and closed.
  // Returns what went wrong (the old file is then kept), or empty.
  std::string reopen();
  const std::string& path() const { return path_; }

 private:
  std::string numbered(int n) const { return path_ + "." + std::to_string(n); }
  // Both called with lock_ held.
  void rotate();
  void take(int fd, long long size);
  // Hands a file let go to the thread, to be forced and closed.
  void retire(int fd);
  void sync_when_asked();
  void sync_directory() const;

  const std::string path_;
  const Bounds bounds_;
  const Report report_;
  std::mutex lock_;
  int fd_ = -1;
  // The file's size after the last whole line, where a torn line is cut.
  long long size_ = 0;
  // Where the next rotation is due: after one failed, a little further on.
  long long rotate_at_ = 0;
  bool rotation_failing_ = false;

  std::mutex sync_lock_;
  std::condition_variable sync_wake_;
  bool sync_asked_ = false;
  bool directory_changed_ = false;
  std::vector<int> retired_;
  bool closing_ = false;
  std::thread syncer_;
};

}  // namespace kplhost
