#include "apps/kpl-host/host.h"

#include <boost/asio/post.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <climits>
#include <csignal>
#include <iostream>
#include <mutex>
#include <optional>

#include "apps/kpl-host/view/status_routes.h"

namespace kplhost {

namespace {

class HostController final : public KPLController {};

}  // namespace

// Repeats the status lines every ten seconds until stopped.
class StatusTicker {
 public:
  StatusTicker(boost::asio::io_context& io, std::function<void()> print)
      : timer_(io), print_(std::move(print)) {}
  void start() {
    timer_.expires_after(std::chrono::seconds(10));
    timer_.async_wait([this](const boost::system::error_code& ec) {
      if (ec) return;
      print_();
      start();
    });
  }
  void stop() { timer_.cancel(); }

 private:
  boost::asio::steady_timer timer_;
  std::function<void()> print_;
};

namespace {

HostConfig read_config(const HostOptions& o) {
  return o.config.empty() ? parse_config(o.config_document, "(configuration)")
                          : load_config(o.config);
}

EventFile::Bounds event_file_bounds(const DiskConfig& d) {
  return {static_cast<long long>(d.events_max_mb * 1024 * 1024), d.events_keep};
}

}  // namespace

Host::Host(HostOptions options)
    : options_(std::move(options)),
      console_(options_.quiet),
      config_(read_config(options_)),
      outputs_{options_.events.empty()
                   ? nullptr
                   : std::make_unique<EventLog>(options_.events, options_.event_kinds,
                                                event_file_bounds(config_.disk),
                                                [this](const std::string& s) { console_.say(s); }),
               nullptr},
      storage_(options_.history, config_.disk, events_,
               [this](const std::string& s) { console_.say(s); }),
      devices_{options_.plugin.empty() ? nullptr : std::make_unique<PluginLibrary>(options_.plugin),
               {},
               std::make_shared<HostController>()},
      polling_(devices_.registry, events_, &storage_.keeper),
      service_(polling_.io,
               [this](std::function<void()> task) { polling_.worker.post(std::move(task)); }) {
  // The alarm state is on disk before anything tells of a change, and the
  // broker's outbox next: both must hold what the others may already show.
  events_.add(&storage_.alarm_state);
  // Which images history keeps follows the alarm changes; the trends take
  // every round's values.
  events_.add(&storage_.keeper);
  events_.add(&storage_.recorder);
  if (config_.mqtt) {
    try {
      outputs_.mqtt = std::make_unique<MqttBridge>(*config_.mqtt, options_.history, events_);
    } catch (const MqttError& e) {
      throw MqttError(options_.config + ": " + e.what());
    }
    events_.add(outputs_.mqtt.get());
  }
  events_.add(&console_);
  if (outputs_.event_log) events_.add(outputs_.event_log.get());
  if (!options_.http.empty()) {
    boost::asio::ip::tcp::endpoint at;
    try {
      at = parse_endpoint(options_.http);
    } catch (const std::invalid_argument& e) {
      throw std::invalid_argument(std::string("--http: ") + e.what());
    }
    try {
      http_ = std::make_unique<HttpServer>(
          polling_.io, at,
          StatusRoutes(
              devices_.registry, [this] { return outputs_status(); }, &storage_.trend_writer));
    } catch (const boost::system::system_error& e) {
      throw std::runtime_error("--http: cannot listen on " + options_.http + ": " +
                               e.code().message());
    }
  }
}

Host::~Host() {
  stop();
  devices_.registry.clear();
}

// Every call into the device goes through the barrier, so a device that
// throws stops alone.
void Host::bring_up(DeviceSlot& slot) {
  DeviceCalls& calls = polling_.calls;
  if (!devices_.plugin) throw std::logic_error("no plug-in to make devices with");
  if (!calls.run(slot, "create", [&] { slot.device = devices_.plugin->create_device(); })) return;
  slot.device->services = &polling_.services;
  devices_.registry.bind(slot);
  const unsigned int number = slot.config.device_number;
  if (!calls.run(slot, "Init",
                 [&] { slot.device->Init(devices_.controller, number, slot.config.json); }))
    return;
  // The alarms the host last reported for it.
  try {
    slot.in_alarm = storage_.alarm_state.load(number);
  } catch (const HistoryError& e) {
    console_.say("device " + std::to_string(number) +
                 " starts without its alarm state: " + e.what());
  }
  std::optional<HistoryRow> row;
  try {
    row = storage_.history.newest(number);
  } catch (const HistoryError& e) {
    console_.say("device " + std::to_string(number) +
                 " starts without its saved image: " + e.what());
  }
  if (!row) return;
  std::lock_guard<std::mutex> g(slot.lock);
  int ok = 0;
  calls.run(slot, "LoadFromCache", [&] {
    ok = slot.device->LoadFromCache(row->image.data(), static_cast<int>(row->image.size()));
  });
  console_.say("device " + std::to_string(number) +
               (ok ? " restored its image of " : " could not restore its image of ") +
               std::to_string(row->image.size()) + " bytes saved at " + row->local_time);
}

DeviceSlot& Host::adopt(std::shared_ptr<KPLSocketDevice> device) {
  DeviceRegistry& registry = devices_.registry;
  DeviceSlot& slot = registry.add(config_.devices.at(registry.slots().size()));
  slot.device = std::move(device);
  registry.bind(slot);
  return slot;
}

void Host::start() {
  if (started_) return;
  started_ = true;
  if (options_.wrap_services) options_.wrap_services(polling_.services);
  DeviceRegistry& registry = devices_.registry;
  for (size_t i = registry.slots().size(); i < config_.devices.size(); ++i)
    bring_up(registry.add(config_.devices[i]));
  for (const std::string& note : config_.notes)
    console_.say((options_.config.empty() ? "(configuration)" : options_.config) + ": " + note);
  const std::string polling = "polling " + std::to_string(config_.devices.size()) +
                              " device(s) every " + std::to_string(config_.poll_interval_ms) +
                              " ms with " + options_.plugin;
  console_.say(polling);
  if (config_.devices.empty())
    console_.say("no devices in " + options_.config + "; add them and start the host again");

  ticker_ = std::make_unique<StatusTicker>(polling_.io, [this] { print_status(); });
  if (!options_.quiet) ticker_->start();
  if (outputs_.mqtt) outputs_.mqtt->start();
  if (http_) {
    http_->start();
    const auto at = http_->local_endpoint();
    const std::string host =
        at.address().is_v6() ? "[" + at.address().to_string() + "]" : at.address().to_string();
    console_.say("status page http://" + host + ":" + std::to_string(at.port()) + "/" +
                 (at.address().is_unspecified()
                      ? " on every address of this machine, read-only and without authentication"
                      : ""));
  }
  service_.start_watchdog();
  polling_.start(std::chrono::milliseconds(config_.poll_interval_ms), options_.polling);
  service_.ready(polling);
}

bool Host::wait_for_rounds(long rounds) {
  return polling_.publisher.wait_for_rounds(rounds > 0 ? rounds : LONG_MAX);
}

void Host::request_stop() { polling_.publisher.stop(); }

void Host::hang_up() {
  std::string reopened;
  if (outputs_.event_log) {
    const std::string problem = outputs_.event_log->reopen();
    reopened = problem.empty() ? "event file " + options_.events + " reopened; " : problem + "; ";
  }
  console_.say("SIGHUP: " + reopened +
               "the configuration is read at start only; restart the host to apply a change");
}

OutputsStatus Host::outputs_status() const {
  OutputsStatus s;
  s.history = storage_.writer.state();
  if (outputs_.event_log) {
    s.has_event_stream = true;
    s.event_lines_lost = outputs_.event_log->lines_lost();
    s.event_problem = outputs_.event_log->problem.text();
  }
  if (outputs_.mqtt) s.mqtt = outputs_.mqtt->status();
  return s;
}

std::vector<std::string> Host::device_status() const {
  std::vector<std::string> lines;
  for (const auto& s : devices_.registry.slots()) lines.push_back(Console::status_text(*s));
  return lines;
}

void Host::print_status() { print_status(device_status()); }

void Host::print_status(const std::vector<std::string>& devices) {
  for (const std::string& line : devices) console_.print(line);
  console_.say(outputs_text(outputs_status()));
}

void Host::stop() {
  if (!started_ || stopped_) return;
  stopped_ = true;
  service_.stopping();
  polling_.stop_io([this] {
    service_.stop();
    ticker_->stop();
    if (http_) http_->stop();
  });
  // The devices as they were when polling ended: the time spent below on
  // what was handed over is no silence of theirs.
  const std::vector<std::string> devices = device_status();
  // Rounds already handed over still check their thresholds and save their
  // images before the host goes; a database that does not take them within
  // a few seconds does not hold the host up longer.
  polling_.worker.drain_and_stop();
  // The newest image of every device, for the restore at the next start,
  // and the trends gathered since they were last written.
  storage_.keeper.flush();
  storage_.trend_writer.stop();
  if (outputs_.mqtt) outputs_.mqtt->stop(std::chrono::seconds(3));
  storage_.writer.stop(std::chrono::seconds(5));
  print_status(devices);
}

int run_host(const HostOptions& options) {
  std::unique_ptr<Host> host;
  try {
    host = std::make_unique<Host>(options);
  } catch (const std::exception& e) {
    std::cerr << "kpl-host: " << e.what() << std::endl;
    return 2;
  }
  boost::asio::signal_set signals(host->io(), SIGINT, SIGTERM);
  signals.async_wait([&](const boost::system::error_code& ec, int) {
    if (!ec) host->request_stop();
  });
  // A hang-up is what logrotate sends once it has renamed the event file;
  // a closed terminal, or an operator expecting a reload, sends it too. The
  // units stay watched.
  boost::asio::signal_set hangup(host->io(), SIGHUP);
  std::function<void(const boost::system::error_code&, int)> on_hangup =
      [&](const boost::system::error_code& ec, int) {
        if (ec) return;
        host->hang_up();
        hangup.async_wait(on_hangup);
      };
  hangup.async_wait(on_hangup);
  boost::asio::steady_timer deadline(host->io());
  if (options.duration_s > 0) {
    deadline.expires_after(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(options.duration_s)));
    deadline.async_wait([&](const boost::system::error_code& ec) {
      if (!ec) host->request_stop();
    });
  }
  host->start();
  host->wait_for_rounds(options.rounds);
  host->stop();
  return 0;
}

}  // namespace kplhost
