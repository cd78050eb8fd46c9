// The trends go to the database from a thread of their own: every ten
// minutes what the recorder gathered is written in one transaction, so a
// unit's minutes cost a few pages a write and nothing per round. The same
// thread answers the view's questions, so that neither the polling nor the
// I/O thread reads the disk. Rows the database refuses are kept for the
// next write, up to a bound; past it the oldest are dropped and counted.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "apps/kpl-host/core/thread_guard.h"
#include "apps/kpl-host/core/trend_source.h"
#include "apps/kpl-host/core/wall_clock.h"
#include "apps/kpl-host/storage/trend_recorder.h"
#include "apps/kpl-host/storage/trend_store.h"

namespace kplhost {

// When the trends are written, at the marks of the clock every so many
// seconds (the history's rows wait for the same marks), and how often their
// forgotten points are deleted.
struct TrendTiming {
  std::chrono::seconds marks{600};
  std::chrono::milliseconds prune_every{std::chrono::hours(24)};
};

class TrendWriter final : public TrendSource {
 public:
  using Timing = TrendTiming;
  // Told when writing fails (once for each trouble) and when it works again.
  using Report = std::function<void(const std::string&)>;
  // Rows kept while the database refuses them.
  static constexpr size_t kept_rows = 200000;
  // Questions waiting; more are answered busy at once.
  static constexpr size_t waiting_queries = 16;

  // threads: where its thread says that it failed.
  TrendWriter(TrendStore& store, TrendRecorder& recorder, ThreadGuard& threads, Timing timing = {},
              WallClock clock = system_wall_clock(), Report report = nullptr);
  ~TrendWriter() override;
  TrendWriter(const TrendWriter&) = delete;
  TrendWriter& operator=(const TrendWriter&) = delete;

  void query(TrendQuery q, std::function<void(TrendAnswer)> done) override;
  // Writes what was gathered and ends the thread; questions from then on
  // are answered busy. Once the rounds have ended.
  void stop();
  long rows_dropped() const;

 private:
  struct Question {
    TrendQuery query;
    std::function<void(TrendAnswer)> done;
  };
  void run();
  // On the thread, without the lock; the last write takes the current
  // hours too.
  void write(bool last);
  TrendAnswer answer(const TrendQuery& q);

  TrendStore& store_;
  TrendRecorder& recorder_;
  const Timing timing_;
  const WallClock clock_;
  const Report report_;
  // Touched by the thread only.
  std::vector<TrendRow> kept_;
  bool failing_ = false;
  // The recorder's drops already said.
  long recorder_dropped_ = 0;
  std::chrono::steady_clock::time_point next_prune_;

  mutable std::mutex lock_;
  std::condition_variable wake_;
  std::deque<Question> questions_;
  bool stopping_ = false;
  long dropped_ = 0;
  std::thread thread_;
};

}  // namespace kplhost
