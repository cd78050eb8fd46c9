#include "apps/kpl-host/host.h"

#include <boost/asio/post.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <climits>
#include <csignal>
#include <iostream>
#include <optional>

#include "apps/kpl-host/poller.h"

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

Host::Host(HostOptions options)
    : options_(std::move(options)),
      console_(options_.quiet),
      config_(options_.config.empty() ? parse_config(options_.config_document, "(configuration)")
                                      : load_config(options_.config)),
      event_log_(options_.events.empty() ? nullptr
                                         : std::make_unique<EventLog>(
                                               options_.events, options_.event_kinds,
                                               [this](const std::string& s) { console_.say(s); })),
      history_lock_(options_.history),
      history_(std::make_unique<HistoryStore>(options_.history, config_.history_keep)),
      alarm_state_(std::make_unique<AlarmStateStore>(options_.history)),
      plugin_(options_.plugin.empty() ? nullptr : std::make_unique<PluginLibrary>(options_.plugin)),
      calls_(events_),
      history_writer_(*history_, static_cast<size_t>(config_.history_queue), events_),
      rules_(registry_, events_, alarm_state_.get()),
      transport_(io_, registry_, events_, calls_),
      worker_(registry_, calls_),
      publisher_(registry_, events_, &history_writer_),
      services_{&transport_, &rules_, &worker_, &publisher_},
      watch_(io_, registry_, events_, worker_),
      service_(io_, [this](std::function<void()> task) { worker_.post(std::move(task)); }),
      controller_(std::make_shared<HostController>()) {
  // The broker's outbox hears of a change first: it is on disk before
  // anything else tells of it.
  if (config_.mqtt) {
    try {
      mqtt_ = std::make_unique<MqttBridge>(*config_.mqtt, options_.history, events_);
    } catch (const MqttError& e) {
      throw MqttError(options_.config + ": " + e.what());
    }
    events_.add(mqtt_.get());
  }
  events_.add(&console_);
  if (event_log_) events_.add(event_log_.get());
  // The communication-loss alarm clears with the round that ends it.
  publisher_.on_round = [this](DeviceSlot& slot) { watch_.check(slot); };
  if (!options_.http.empty()) {
    boost::asio::ip::tcp::endpoint at;
    try {
      at = parse_endpoint(options_.http);
    } catch (const std::invalid_argument& e) {
      throw std::invalid_argument(std::string("--http: ") + e.what());
    }
    try {
      http_ = std::make_unique<HttpServer>(
          io_, at, StatusRoutes(registry_, history_writer_, event_log_.get(), mqtt_.get()));
    } catch (const boost::system::system_error& e) {
      throw std::runtime_error("--http: cannot listen on " + options_.http + ": " +
                               e.code().message());
    }
  }
}

Host::~Host() {
  stop();
  registry_.clear();
}

// Every call into the device goes through the barrier, so a device that
// throws stops alone.
void Host::bring_up(DeviceSlot& slot) {
  if (!plugin_) throw std::logic_error("no plug-in to make devices with");
  if (!calls_.run(slot, "create", [&] { slot.device = plugin_->create_device(); })) return;
  slot.device->services = &services_;
  registry_.bind(slot);
  const unsigned int number = slot.config.device_number;
  if (!calls_.run(slot, "Init", [&] { slot.device->Init(controller_, number, slot.config.json); }))
    return;
  // The alarms the host last reported for it.
  try {
    slot.in_alarm = alarm_state_->load(number);
  } catch (const HistoryError& e) {
    console_.say("device " + std::to_string(number) +
                 " starts without its alarm state: " + e.what());
  }
  std::optional<HistoryRow> row;
  try {
    row = history_->newest(number);
  } catch (const HistoryError& e) {
    console_.say("device " + std::to_string(number) +
                 " starts without its saved image: " + e.what());
  }
  if (!row) return;
  std::lock_guard<std::mutex> g(slot.lock);
  int ok = 0;
  calls_.run(slot, "LoadFromCache", [&] {
    ok = slot.device->LoadFromCache(row->image.data(), static_cast<int>(row->image.size()));
  });
  console_.say("device " + std::to_string(number) +
               (ok ? " restored its image of " : " could not restore its image of ") +
               std::to_string(row->image.size()) + " bytes saved at " + row->local_time);
}

DeviceSlot& Host::adopt(std::shared_ptr<KPLSocketDevice> device) {
  DeviceSlot& slot = registry_.add(config_.devices.at(registry_.slots().size()));
  slot.device = std::move(device);
  registry_.bind(slot);
  return slot;
}

void Host::start() {
  if (started_) return;
  started_ = true;
  if (options_.wrap_services) options_.wrap_services(services_);
  for (size_t i = registry_.slots().size(); i < config_.devices.size(); ++i)
    bring_up(registry_.add(config_.devices[i]));
  const std::string polling = "polling " + std::to_string(config_.devices.size()) +
                              " device(s) every " + std::to_string(config_.poll_interval_ms) +
                              " ms with " + options_.plugin;
  console_.say(polling);
  if (config_.devices.empty())
    console_.say("no devices in " + options_.config + "; add them and start the host again");

  poller_ = std::make_unique<Poller>(io_, registry_, calls_,
                                     std::chrono::milliseconds(config_.poll_interval_ms));
  ticker_ = std::make_unique<StatusTicker>(io_, [this] { print_status(); });
  if (options_.polling) poller_->start();
  if (!options_.quiet) ticker_->start();
  watch_.start();
  if (mqtt_) mqtt_->start();
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
  io_thread_ = std::thread([this] { io_.run(); });
  service_.ready(polling);
}

bool Host::wait_for_rounds(long rounds) {
  return publisher_.wait_for_rounds(rounds > 0 ? rounds : LONG_MAX);
}

void Host::request_stop() { publisher_.stop(); }

std::vector<std::string> Host::device_status() const {
  std::vector<std::string> lines;
  for (const auto& s : registry_.slots()) lines.push_back(Console::status_text(*s));
  return lines;
}

void Host::print_status() { print_status(device_status()); }

void Host::print_status(const std::vector<std::string>& devices) {
  for (const std::string& line : devices) console_.print(line);
  std::string text = "history: " + history_text(history_writer_.state());
  if (event_log_)
    text += "; event stream: " + std::to_string(event_log_->lines_lost()) +
            " lines lost, last error: " + event_log_->problem.text();
  if (mqtt_) {
    const MqttStatus m = mqtt_->status();
    text += std::string("; mqtt: ") + (m.connected ? "connected" : "not connected") + ", " +
            std::to_string(m.outbox) + " alarm changes waiting, " + std::to_string(m.dropped) +
            " dropped";
  }
  console_.say(text);
}

void Host::stop() {
  if (!started_ || stopped_) return;
  stopped_ = true;
  service_.stopping();
  boost::asio::post(io_, [this] {
    service_.stop();
    poller_->stop();
    ticker_->stop();
    watch_.stop();
    if (http_) http_->stop();
    transport_.close_all();
    io_.stop();
  });
  io_thread_.join();
  // The devices as they were when polling ended: the time spent below on
  // what was handed over is no silence of theirs.
  const std::vector<std::string> devices = device_status();
  // Rounds already handed over still check their thresholds and save their
  // images before the host goes; a database that does not take them within
  // a few seconds does not hold the host up longer.
  worker_.drain_and_stop();
  if (mqtt_) mqtt_->stop(std::chrono::seconds(3));
  history_writer_.stop(std::chrono::seconds(5));
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
  // A hang-up (a closed terminal, or an operator expecting a reload) leaves
  // the units watched: the host says so and goes on.
  boost::asio::signal_set hangup(host->io(), SIGHUP);
  std::function<void(const boost::system::error_code&, int)> on_hangup =
      [&](const boost::system::error_code& ec, int) {
        if (ec) return;
        host->say(
            "SIGHUP ignored: the configuration is read at start only; restart the host to apply "
            "a change");
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
