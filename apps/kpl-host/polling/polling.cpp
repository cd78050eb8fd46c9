#include "apps/kpl-host/polling/polling.h"

#include <boost/asio/post.hpp>

namespace kplhost {

Polling::Polling(DeviceRegistry& registry, HostEvents& events, HistorySink* history)
    : calls(events),
      rules(registry, events),
      transport(io, registry, events, calls),
      worker(registry, calls),
      publisher(registry, events, history),
      services{&transport, &rules, &worker, &publisher},
      watch(io, registry, events, worker),
      registry_(registry) {
  // The communication-loss alarm clears with the round that ends it.
  publisher.on_round = [this](DeviceSlot& slot) { watch.check(slot); };
}

Polling::~Polling() {
  stop_io([] {});
  worker.drain_and_stop();
}

void Polling::start(std::chrono::milliseconds interval, bool poll) {
  poller_ = std::make_unique<Poller>(io, registry_, calls, interval);
  if (poll) poller_->start();
  watch.start();
  io_thread_ = std::thread([this] { io.run(); });
}

void Polling::stop_io(const std::function<void()>& before) {
  if (!io_thread_.joinable()) return;
  boost::asio::post(io, [this, &before] {
    before();
    poller_->stop();
    watch.stop();
    transport.close_all();
    io.stop();
  });
  io_thread_.join();
}

}  // namespace kplhost
