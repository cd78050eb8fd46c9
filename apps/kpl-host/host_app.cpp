#include "apps/kpl-host/host_app.h"

#include <climits>
#include <csignal>
#include <iostream>
#include <memory>
#include <optional>
#include <thread>

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>

#include "host/host_services.h"
#include "apps/kpl-host/config.h"
#include "apps/kpl-host/console.h"
#include "apps/kpl-host/event_log.h"
#include "apps/kpl-host/device_calls.h"
#include "apps/kpl-host/history_store.h"
#include "apps/kpl-host/history_writer.h"
#include "apps/kpl-host/plugin_library.h"
#include "apps/kpl-host/poller.h"
#include "apps/kpl-host/publisher.h"
#include "apps/kpl-host/rule_engine.h"
#include "apps/kpl-host/tcp_transport.h"
#include "apps/kpl-host/work_queue.h"

namespace kplhost {

namespace {

class HostController final : public KPLController {};

// Makes, configures and restores one device; every call into it goes
// through the barrier, so a device that throws stops alone.
void bring_up(DeviceSlot& slot, DeviceRegistry& registry, DeviceCalls& calls,
              const PluginLibrary& plugin, HostServices& services,
              const std::shared_ptr<HostController>& controller, HistoryStore& history,
              Console& console) {
  if (!calls.run(slot, "create", [&] { slot.device = plugin.create_device(); })) return;
  slot.device->services = &services;
  registry.bind(slot);
  const unsigned int number = slot.config.device_number;
  if (!calls.run(slot, "Init", [&] { slot.device->Init(controller, number, slot.config.json); }))
    return;
  std::optional<HistoryRow> row;
  try {
    row = history.newest(number);
  } catch (const HistoryError& e) {
    console.say("device " + std::to_string(number) + " starts without its saved image: " + e.what());
  }
  if (!row) return;
  std::lock_guard<std::mutex> g(slot.lock);
  int ok = 0;
  calls.run(slot, "LoadFromCache", [&] {
    ok = slot.device->LoadFromCache(row->image.data(), static_cast<int>(row->image.size()));
  });
  console.say("device " + std::to_string(number) +
              (ok ? " restored its image of " : " could not restore its image of ") +
              std::to_string(row->image.size()) + " bytes saved at " + row->local_time);
}

// The host's own state beside the devices': history and the event stream.
void host_status(Console& console, const HistoryWriter& history, const EventLog* event_log) {
  std::string text = "history: " + history_text(history.state());
  if (event_log)
    text += "; event stream: " + std::to_string(event_log->lines_lost()) +
            " lines lost, last error: " + event_log->problem.text();
  console.say(text);
}

// Repeats the status lines every interval until stopped.
class StatusTicker {
 public:
  StatusTicker(boost::asio::io_context& io, const DeviceRegistry& reg, Console& console,
               const HistoryWriter& history, const EventLog* event_log)
      : timer_(io), reg_(reg), console_(console), history_(history), event_log_(event_log) {}
  void start() {
    timer_.expires_after(std::chrono::seconds(10));
    timer_.async_wait([this](const boost::system::error_code& ec) {
      if (ec) return;
      for (const auto& s : reg_.slots()) console_.status(*s);
      host_status(console_, history_, event_log_);
      start();
    });
  }
  void stop() { timer_.cancel(); }

 private:
  boost::asio::steady_timer timer_;
  const DeviceRegistry& reg_;
  Console& console_;
  const HistoryWriter& history_;
  const EventLog* event_log_;
};

}  // namespace

int run_host(const HostOptions& opt) {
  Console console(opt.quiet);
  HostConfig cfg;
  std::unique_ptr<EventLog> event_log;
  std::unique_ptr<HistoryStore> history;
  std::unique_ptr<PluginLibrary> plugin;
  try {
    cfg = load_config(opt.config);
    if (!opt.events.empty())
      event_log = std::make_unique<EventLog>(opt.events, opt.event_kinds,
                                             [&console](const std::string& s) { console.say(s); });
    history = std::make_unique<HistoryStore>(opt.history, cfg.history_keep);
    plugin = std::make_unique<PluginLibrary>(opt.plugin);
  } catch (const std::exception& e) {
    std::cerr << "kpl-host: " << e.what() << std::endl;
    return 2;
  }

  EventFanout events;
  events.add(&console);
  if (event_log) events.add(event_log.get());

  DeviceRegistry registry;
  boost::asio::io_context io;
  DeviceCalls calls(events);
  HistoryWriter history_writer(*history, static_cast<size_t>(cfg.history_queue), events);
  RuleEngine rules(registry, events);
  TcpTransport transport(io, registry, events, calls);
  WorkQueue worker(registry, calls);
  HostPublisher publisher(registry, events, &history_writer);
  HostServices services{&transport, &rules, &worker, &publisher};
  HostServices::set_fallback(&services);
  auto controller = std::make_shared<HostController>();

  for (const DeviceConfig& d : cfg.devices) {
    bring_up(registry.add(d), registry, calls, *plugin, services, controller, *history, console);
  }
  console.say("polling " + std::to_string(cfg.devices.size()) + " device(s) every " +
              std::to_string(cfg.poll_interval_ms) + " ms with " + opt.plugin);

  Poller poller(io, registry, calls, std::chrono::milliseconds(cfg.poll_interval_ms));
  StatusTicker ticker(io, registry, console, history_writer, event_log.get());
  boost::asio::signal_set signals(io, SIGINT, SIGTERM);
  signals.async_wait([&](const boost::system::error_code& ec, int) {
    if (!ec) publisher.stop();
  });
  boost::asio::steady_timer deadline(io);
  if (opt.duration_s > 0) {
    deadline.expires_after(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(opt.duration_s)));
    deadline.async_wait([&](const boost::system::error_code& ec) {
      if (!ec) publisher.stop();
    });
  }
  poller.start();
  if (!opt.quiet) ticker.start();
  std::thread io_thread([&io] { io.run(); });

  publisher.wait_for_rounds(opt.rounds > 0 ? opt.rounds : LONG_MAX);

  boost::asio::post(io, [&] {
    poller.stop();
    ticker.stop();
    deadline.cancel();
    signals.cancel();
    transport.close_all();
    io.stop();
  });
  io_thread.join();
  // Rounds already handed over still check their thresholds and save their
  // images before the host goes; a database that does not take them within
  // a few seconds does not hold the host up longer.
  worker.drain_and_stop();
  history_writer.stop(std::chrono::seconds(5));
  for (const auto& s : registry.slots()) console.status(*s);
  host_status(console, history_writer, event_log.get());
  HostServices::set_fallback(nullptr);
  registry.clear();
  return 0;
}

}  // namespace kplhost
