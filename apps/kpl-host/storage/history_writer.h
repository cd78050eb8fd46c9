// History rows go to the database from a thread of their own, through a
// bounded queue: a slow, locked or full disk delays only history, never
// the polling. When the queue is full the oldest rows waiting are dropped
// and counted, and the host says so. Rows wait for the next mark of the
// clock, so that a transaction takes every row since the last (each one
// writes its pages to the log and again at the checkpoint, and a page per
// index and table besides), and once an hour the thread deletes what the
// history no longer keeps.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "apps/kpl-host/core/device_slot.h"
#include "apps/kpl-host/core/host_events.h"
#include "apps/kpl-host/core/thread_guard.h"
#include "apps/kpl-host/core/wall_clock.h"
#include "apps/kpl-host/storage/history_rows.h"
#include "apps/kpl-host/storage/history_store.h"

namespace kplhost {

// What the writer's thread does besides writing: what it prunes, by which
// clock and how often, and until when rows wait for more to join them: the
// next mark of `marks` seconds on the clock (0: none, written at once), the
// marks the trends are written at too.
struct HistoryUpkeep {
  HistoryBounds bounds;
  WallClock clock = system_wall_clock();
  std::chrono::seconds marks{0};
  std::chrono::milliseconds every{std::chrono::hours(1)};
};

class HistoryWriter final : public HistoryRows {
 public:
  using Upkeep = HistoryUpkeep;
  // threads: where its thread says that it failed.
  HistoryWriter(HistoryStore& store, size_t capacity, HostEvents& events, ThreadGuard& threads,
                Upkeep upkeep = {});
  ~HistoryWriter() override;
  HistoryWriter(const HistoryWriter&) = delete;
  HistoryWriter& operator=(const HistoryWriter&) = delete;

  // Queues a row; never waits for the database.
  void write(DeviceSlot& slot, HistoryRow row) override;
  // Writes what is queued for at most `limit`, then stops the thread; rows
  // still waiting then are dropped and counted.
  void stop(std::chrono::milliseconds limit);
  HistoryState state() const;

 private:
  struct Row {
    DeviceSlot* slot;
    HistoryRow row;
  };
  void run();
  // Writes one batch; returns the database's complaint, empty when written.
  std::string write_batch(std::deque<Row>& batch);
  // Deletes what the history no longer keeps; the caller holds the lock,
  // which is let go meanwhile.
  void prune(std::unique_lock<std::mutex>& g);
  // Whether the images take more than they may.
  bool over_size();
  // Drops the oldest rows past the capacity; the caller holds the lock.
  void drop_over_capacity();
  // Moves to the state the queue and the last write call for, and tells the
  // listeners when it changed; the caller holds the lock, which is let go
  // while they are told.
  void settle(std::unique_lock<std::mutex>& g, bool failing, std::string detail);

  HistoryStore& store_;
  const size_t capacity_;
  HostEvents& events_;
  const Upkeep upkeep_;
  std::chrono::steady_clock::time_point next_prune_;
  mutable std::mutex lock_;
  std::condition_variable wake_;
  std::deque<Row> queue_;
  HistoryState state_;
  bool stopping_ = false;
  // The thread has ended: rows saved from now on are dropped and counted.
  bool stopped_ = false;
  std::chrono::steady_clock::time_point deadline_{};
  std::thread thread_;
};

}  // namespace kplhost
