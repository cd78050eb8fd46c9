#include "apps/kpl-host/storage/trend_writer.h"

namespace kplhost {

TrendWriter::TrendWriter(TrendStore& store, TrendRecorder& recorder, ThreadGuard& threads,
                         Timing timing, WallClock clock, Report report)
    : store_(store),
      recorder_(recorder),
      timing_(timing),
      clock_(std::move(clock)),
      report_(std::move(report)),
      next_prune_(std::chrono::steady_clock::now()) {
  thread_ = threads.start("trend writer", [this] { run(); });
}

TrendWriter::~TrendWriter() { stop(); }

void TrendWriter::query(TrendQuery q, std::function<void(TrendAnswer)> done) {
  {
    std::lock_guard<std::mutex> g(lock_);
    if (!stopping_ && questions_.size() < waiting_queries) {
      questions_.push_back({std::move(q), std::move(done)});
      wake_.notify_one();
      return;
    }
  }
  TrendAnswer busy;
  busy.outcome = TrendAnswer::busy;
  busy.detail = "the trends are busy; ask again";
  done(std::move(busy));
}

TrendAnswer TrendWriter::answer(const TrendQuery& q) {
  std::vector<TrendRow> unwritten = recorder_.peek(q.device_number, q.point);
  for (const TrendRow& r : kept_)
    if (r.device_number == q.device_number && r.point == q.point) unwritten.push_back(r);
  try {
    return store_.read(q, unix_seconds(clock_()), unwritten);
  } catch (const HistoryError& e) {
    TrendAnswer a;
    a.outcome = TrendAnswer::failed;
    a.detail = e.what();
    return a;
  }
}

void TrendWriter::write(bool last) {
  std::vector<TrendRow> rows = recorder_.take(last);
  const long dropped = recorder_.rows_dropped();
  if (dropped > recorder_dropped_ && report_)
    report_("trends: " + std::to_string(dropped - recorder_dropped_) +
            " minute and hour aggregates dropped while the trends were not written");
  recorder_dropped_ = dropped;
  kept_.insert(kept_.end(), std::make_move_iterator(rows.begin()),
               std::make_move_iterator(rows.end()));
  try {
    store_.write(kept_);
    kept_.clear();
    if (failing_ && report_) report_("trends: writing again");
    failing_ = false;
    if (std::chrono::steady_clock::now() >= next_prune_) {
      next_prune_ = std::chrono::steady_clock::now() + timing_.prune_every;
      store_.prune(unix_seconds(clock_()));
    }
  } catch (const HistoryError& e) {
    if (!failing_ && report_)
      report_(std::string("trends: ") + e.what() + "; kept for the next try");
    failing_ = true;
    if (kept_.size() > kept_rows) {
      const size_t drop = kept_.size() - kept_rows;
      kept_.erase(kept_.begin(), kept_.begin() + static_cast<long>(drop));
      std::lock_guard<std::mutex> g(lock_);
      dropped_ += static_cast<long>(drop);
    }
  }
}

void TrendWriter::run() {
  // Just past the mark: the minute before it is whole.
  const auto next = [this] {
    return std::chrono::steady_clock::now() + until_mark(clock_(), timing_.marks) +
           std::chrono::seconds(2);
  };
  auto next_write = next();
  std::unique_lock<std::mutex> g(lock_);
  for (;;) {
    wake_.wait_until(g, next_write, [this] { return stopping_ || !questions_.empty(); });
    if (!questions_.empty()) {
      Question q = std::move(questions_.front());
      questions_.pop_front();
      g.unlock();
      q.done(answer(q.query));
      g.lock();
      continue;
    }
    const bool last = stopping_;
    g.unlock();
    write(last);
    g.lock();
    if (last) return;
    next_write = next();
  }
}

void TrendWriter::stop() {
  {
    std::lock_guard<std::mutex> g(lock_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

long TrendWriter::rows_dropped() const {
  std::lock_guard<std::mutex> g(lock_);
  return dropped_;
}

}  // namespace kplhost
