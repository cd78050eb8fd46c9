// Standard output through a limiter. The plug-in writes its diagnostics with
// printf, one flushed line each; a unit that floods the host makes it write
// thousands a second. The host moves its standard output to a pipe that a
// thread of its own reads: the plug-in's lines pass through the limiter (per
// device, from the data id a line names, and kind), and a second thread
// writes what passes, with the host's own lines, to the real standard output.
// The reader never waits for that output: what a slow terminal or journal
// does not take in time is dropped from the plug-in's lines and counted; the
// host's own lines (alarms, communication, status) are never dropped.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "apps/kpl-host/core/thread_guard.h"
#include "apps/kpl-host/outputs/line_limiter.h"

namespace kplhost {

class StdoutFilter {
 public:
  // Told, on the reader's thread, how many of a data id's lines are being
  // held back in the current minute.
  using OnFlood = std::function<void(long data_id, long suppressed)>;
  // Names the device of a data id in the summary lines ("device 7").
  using DeviceName = std::function<std::string(long data_id)>;

  // Reads the plug-in's lines from `in` and writes to `out`; owns neither.
  StdoutFilter(int in, int out, ThreadGuard& threads, OnFlood on_flood, DeviceName name);
  // Ends as finish() does.
  ~StdoutFilter();
  StdoutFilter(const StdoutFilter&) = delete;
  StdoutFilter& operator=(const StdoutFilter&) = delete;

  // A line of the host's own, never dropped.
  void host_line(const std::string& text);
  // Reads what is left once the writing end of `in` is closed, says what was
  // held back and what was dropped, writes it all out and ends the threads.
  void finish();
  long dropped() const { return dropped_; }

 private:
  void read_loop();
  void write_loop();
  void take(const std::string& line);
  void summaries(bool everything);
  void push(std::string line, bool keep);

  const int in_, out_;
  OnFlood on_flood_;
  DeviceName name_;
  LineLimiter limiter_;
  std::mutex lock_;
  std::condition_variable wake_;
  std::deque<std::pair<std::string, bool>> queue_;
  size_t droppable_ = 0;
  bool reading_done_ = false;
  std::atomic<long> dropped_{0};
  std::thread reader_, writer_;
};

// The process's standard output through a filter: stdout goes to a pipe the
// filter reads, and back to what it was when this ends (flushed first).
class FilteredStdout {
 public:
  FilteredStdout(ThreadGuard& threads, StdoutFilter::OnFlood on_flood,
                 StdoutFilter::DeviceName name);
  ~FilteredStdout();
  FilteredStdout(const FilteredStdout&) = delete;
  FilteredStdout& operator=(const FilteredStdout&) = delete;
  StdoutFilter& filter() { return *filter_; }

 private:
  int real_ = -1, read_end_ = -1;
  std::unique_ptr<StdoutFilter> filter_;
};

}  // namespace kplhost
