#include "apps/kpl-host/polling/polling.h"

#include <boost/asio/post.hpp>

namespace kplhost {

Polling::Polling(DeviceRegistry& registry, HostEvents& events, HistorySink* history,
                 ThreadGuard& threads)
    : calls(events),
      rules(registry, events),
      transport(io, registry, events, calls),
      worker(registry, calls, threads),
      publisher(registry, events, history),
      services{&transport, &rules, &worker, &publisher},
      watch(io, registry, events, worker),
      registry_(registry),
      threads_(threads) {
  // The communication-loss alarm clears with the round that ends it, and so
  // does a problem of the link's: a connection that delivers no round has not
  // ended it.
  publisher.on_round = [this](DeviceSlot& slot) {
    if (slot.link_problem && !slot.failed) {
      slot.problem.clear();
      slot.link_problem = false;
    }
    watch.check(slot);
  };
}

Polling::~Polling() {
  stop_io([] {});
  worker.drain_and_stop();
}

void Polling::start(std::chrono::milliseconds interval, bool poll) {
  poller_ = std::make_unique<Poller>(io, registry_, calls, interval);
  if (poll) poller_->start();
  watch.start();
  io_thread_ = threads_.start("I/O", [this] { io.run(); });
}

void Polling::stop_io(const std::function<void()>& before) {
  if (!io_thread_.joinable()) return;
  boost::asio::post(io, [this, &before] { end_io(before); });
  io_thread_.join();
  // An I/O thread that failed never ran the end; no thread runs the context
  // now, so it is done here.
  if (!io_ended_) end_io(before);
}

void Polling::end_io(const std::function<void()>& before) {
  // Once only, even when what it ends throws.
  io_ended_ = true;
  before();
  poller_->stop();
  watch.stop();
  transport.close_all();
  io.stop();
}

}  // namespace kplhost
