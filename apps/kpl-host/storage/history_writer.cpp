#include "apps/kpl-host/storage/history_writer.h"

#include <algorithm>

namespace kplhost {

namespace {

// Rows written in one transaction: one commit for many rows lets the writer
// catch up after a stall.
constexpr size_t batch_rows = 256;
constexpr auto first_retry = std::chrono::milliseconds(250);
constexpr auto last_retry = std::chrono::milliseconds(4000);
// Past a mark, the rows of the round at the mark come in too.
constexpr auto after_mark = std::chrono::seconds(2);

}  // namespace

HistoryWriter::HistoryWriter(HistoryStore& store, size_t capacity, HostEvents& events,
                             ThreadGuard& threads, Upkeep upkeep)
    : store_(store),
      capacity_(std::max<size_t>(capacity, 1)),
      events_(events),
      upkeep_(std::move(upkeep)),
      next_prune_(std::chrono::steady_clock::now()) {
  thread_ = threads.start("history writer", [this] { run(); });
}

HistoryWriter::~HistoryWriter() { stop(std::chrono::milliseconds(0)); }

HistoryState HistoryWriter::state() const {
  std::lock_guard<std::mutex> g(lock_);
  HistoryState s = state_;
  s.queued = static_cast<long>(queue_.size());
  return s;
}

void HistoryWriter::write(DeviceSlot& slot, HistoryRow row) {
  std::unique_lock<std::mutex> g(lock_);
  if (stopped_) {
    ++slot.history_dropped;
    ++state_.dropped;
    return;
  }
  queue_.push_back({&slot, std::move(row)});
  drop_over_capacity();
  wake_.notify_one();
  if (state_.kind == HistoryState::ok && queue_.size() > capacity_ / 4) settle(g, false, {});
}

void HistoryWriter::drop_over_capacity() {
  while (queue_.size() > capacity_) {
    ++queue_.front().slot->history_dropped;
    ++state_.dropped;
    queue_.pop_front();
  }
}

std::string HistoryWriter::write_batch(std::deque<Row>& batch) {
  std::vector<HistoryRow> rows;
  rows.reserve(batch.size());
  for (Row& r : batch) rows.push_back(std::move(r.row));
  try {
    store_.save_all(rows);
    return {};
  } catch (const HistoryError& e) {
    // Not written: the rows go back to the queue as they were.
    for (size_t i = 0; i < rows.size(); ++i) batch[i].row = std::move(rows[i]);
    return e.what();
  }
}

void HistoryWriter::settle(std::unique_lock<std::mutex>& g, bool failing, std::string detail) {
  HistoryState next = state_;
  next.queued = static_cast<long>(queue_.size());
  if (failing) {
    next.kind = HistoryState::failing;
    next.detail = std::move(detail);
  } else {
    // Behind while much is waiting, or rows were dropped and the queue has
    // not emptied since; fine again once it has.
    const bool lagging =
        queue_.size() > capacity_ / 4 || (state_.kind != HistoryState::ok && !queue_.empty());
    next.kind = lagging ? HistoryState::behind : HistoryState::ok;
    next.detail.clear();
  }
  const bool changed = next.kind != state_.kind || next.detail != state_.detail;
  state_ = next;
  if (!changed) return;
  g.unlock();
  events_.history(next);
  g.lock();
}

bool HistoryWriter::over_size() {
  try {
    return store_.bytes() > upkeep_.bounds.max_bytes;
  } catch (const HistoryError&) {
    return false;
  }
}

void HistoryWriter::prune(std::unique_lock<std::mutex>& g) {
  next_prune_ = std::chrono::steady_clock::now() + upkeep_.every;
  g.unlock();
  std::string complaint;
  try {
    store_.prune(unix_seconds(upkeep_.clock()), upkeep_.bounds);
  } catch (const HistoryError& e) {
    complaint = e.what();
  }
  g.lock();
  if (!complaint.empty()) settle(g, true, std::move(complaint));
}

void HistoryWriter::run() {
  using Clock = std::chrono::steady_clock;
  auto retry = first_retry;
  std::unique_lock<std::mutex> g(lock_);
  for (;;) {
    wake_.wait_until(g, next_prune_, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_ && (queue_.empty() || Clock::now() >= deadline_)) break;
    if (queue_.empty()) {
      prune(g);
      continue;
    }
    if (!stopping_ && upkeep_.marks.count() > 0)
      wake_.wait_for(g, until_mark(upkeep_.clock(), upkeep_.marks) + after_mark,
                     [this] { return stopping_ || queue_.size() >= batch_rows; });

    std::deque<Row> batch;
    const size_t n = std::min(batch_rows, queue_.size());
    std::move(queue_.begin(), queue_.begin() + static_cast<long>(n), std::back_inserter(batch));
    queue_.erase(queue_.begin(), queue_.begin() + static_cast<long>(n));
    g.unlock();
    std::string complaint = write_batch(batch);
    g.lock();

    if (complaint.empty()) {
      retry = first_retry;
      settle(g, false, {});
      // The size is held after every write, the age once an hour.
      if (!stopping_ && (Clock::now() >= next_prune_ || over_size())) prune(g);
      continue;
    }
    queue_.insert(queue_.begin(), std::make_move_iterator(batch.begin()),
                  std::make_move_iterator(batch.end()));
    drop_over_capacity();
    settle(g, true, std::move(complaint));
    // Wait before trying again; once stopping, no later than the deadline.
    const auto until = Clock::now() + retry;
    if (stopping_)
      wake_.wait_until(g, std::min(until, deadline_));
    else
      wake_.wait_until(g, until, [this] { return stopping_; });
    retry = std::min(retry * 2, std::chrono::duration_cast<std::chrono::milliseconds>(last_retry));
  }
  // What could not be written in time is lost; count it.
  for (Row& r : queue_) ++r.slot->history_dropped;
  state_.dropped += static_cast<long>(queue_.size());
  queue_.clear();
  stopped_ = true;
}

void HistoryWriter::stop(std::chrono::milliseconds limit) {
  {
    std::lock_guard<std::mutex> g(lock_);
    if (!stopping_) deadline_ = std::chrono::steady_clock::now() + limit;
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

}  // namespace kplhost
