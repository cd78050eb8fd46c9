#include "apps/kpl-host/host.h"

#include <boost/asio/post.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <climits>
#include <csignal>
#include <iostream>
#include <mutex>
#include <optional>

#include "apps/kpl-host/core/alarm_text.h"
#include "apps/kpl-host/mqtt/mqtt_client.h"
#include "apps/kpl-host/stop_deadline.h"
#include "apps/kpl-host/view/status_routes.h"
#include "apps/kpl-host/view/web_access.h"

namespace kplhost {

namespace {

class HostController final : public KPLController {};

// How long a stop may take, from the request to the end of the process.
constexpr std::chrono::milliseconds stop_bound(9000);

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

WebConfig read_web_config(const HostOptions& o) {
  return o.web_config.empty() ? WebConfig() : load_web_config(o.web_config);
}

EventFile::Bounds event_file_bounds(const DiskConfig& d) {
  return {static_cast<long long>(d.events_max_mb * 1024 * 1024), d.events_keep};
}

}  // namespace

Host::Host(HostOptions options)
    : options_(std::move(options)),
      console_(options_.quiet),
      config_(read_config(options_)),
      web_config_(read_web_config(options_)),
      outputs_{options_.events.empty()
                   ? nullptr
                   : std::make_unique<EventLog>(options_.events, threads_, options_.event_kinds,
                                                event_file_bounds(config_.disk),
                                                [this](const std::string& s) { console_.say(s); }),
               nullptr},
      storage_(options_.history, config_.disk, events_, threads_,
               [this](const std::string& s) { console_.say(s); }),
      // Acknowledging needs someone logged in to do it.
      alarm_log_(options_.history, {config_.disk.alarm_log_rows, config_.disk.alarm_log_days},
                 web_config_.login(), events_),
      devices_{options_.plugin.empty() ? nullptr : std::make_unique<PluginLibrary>(options_.plugin),
               {},
               std::make_shared<HostController>()},
      polling_(devices_.registry, events_, &storage_.keeper, threads_),
      service_(polling_.io,
               [this](std::function<void()> task) { polling_.worker.post(std::move(task)); }) {
  if (options_.filter_stdout) filter_stdout();
  // The alarm state is on disk before anything tells of a change, and the
  // broker's outbox next: both must hold what the others may already show.
  events_.add(&storage_.alarm_state);
  events_.add(&alarm_log_);
  // Which images history keeps follows the alarm changes; the trends take
  // every round's values.
  events_.add(&storage_.keeper);
  events_.add(&storage_.recorder);
  if (config_.mqtt) {
    try {
      outputs_.mqtt = std::make_unique<MqttBridge>(*config_.mqtt, options_.history, events_,
                                                   threads_, &MqttClient::make);
    } catch (const MqttError& e) {
      throw MqttError(options_.config + ": " + e.what());
    }
    events_.add(outputs_.mqtt.get());
  }
  events_.add(&console_);
  polling_.watch.say = [this](const std::string& line) { console_.say(line); };
  if (outputs_.event_log) events_.add(outputs_.event_log.get());
  if (!options_.http.empty()) {
    boost::asio::ip::tcp::endpoint at;
    try {
      at = parse_endpoint(options_.http);
    } catch (const std::invalid_argument& e) {
      throw std::invalid_argument(std::string("--http: ") + e.what());
    }
    HttpAccess access = web_access(polling_.io, web_config_, options_.web_config, threads_);
    SiteBackend site{&alarm_log_,
                     [this](std::function<void()> task) { polling_.worker.post(std::move(task)); },
                     access.login, access.tls != nullptr};
    const StatusRoutes routes(
        devices_.registry, [this] { return outputs_status(); }, std::move(site),
        &storage_.trend_writer);
    try {
      http_ = std::make_unique<HttpServer>(
          polling_.io, at,
          [routes](const HttpRequest& r, const Respond& respond) { routes.handle(r, respond); },
          HttpLimits{}, std::move(access));
    } catch (const boost::system::system_error& e) {
      throw std::runtime_error("--http: cannot listen on " + options_.http + ": " +
                               e.code().message());
    }
  }
  // The host is whole: a thread that failed meanwhile is said now.
  threads_.wire([this](const std::string& line) {
    console_.say(line);
    request_stop();
  });
}

void Host::filter_stdout() {
  auto device_of = [this](long data_id) -> const DeviceConfig* {
    for (const DeviceConfig& d : config_.devices)
      if (static_cast<long>(d.data_id) == data_id) return &d;
    return nullptr;
  };
  filtered_ = std::make_unique<FilteredStdout>(
      threads_,
      [this, device_of](long data_id, long suppressed) {
        // Slots are made while the host starts; a flood before is not shown.
        if (!devices_ready_ || !device_of(data_id)) return;
        for (const auto& s : devices_.registry.slots())
          if (static_cast<long>(s->config.data_id) == data_id)
            s->health.lines_suppressed(suppressed);
      },
      [device_of](long data_id) {
        const DeviceConfig* d = device_of(data_id);
        return d ? "device " + std::to_string(d->device_number)
                 : "data_id " + std::to_string(data_id);
      });
  console_.send_to([this](const std::string& line) { filtered_->filter().host_line(line); });
}

Host::~Host() {
  stop();
  // The last lines written, standard output is the process's own again.
  console_.send_to(nullptr);
  filtered_.reset();
  // Threads still running end with the parts they belong to, and there is
  // no host left to stop by then.
  threads_.wire([this](const std::string& line) { console_.say(line); });
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
  // The alarms the host last reported for it, its communication loss among
  // them, and those listed for the operator.
  try {
    slot.in_alarm = storage_.alarm_state.load(number);
    slot.communication_lost = slot.in_alarm.erase(communication_lost_id) > 0;
    alarm_log_.load(slot);
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
  devices_ready_ = true;
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
    const char* scheme = web_config_.tls() ? "https://" : "http://";
    const char* access = web_config_.login() ? " with a log-in"
                         : at.address().is_unspecified()
                             ? " on every address of this machine, read-only and without "
                               "authentication"
                             : "";
    console_.say("status page " + std::string(scheme) + host + ":" + std::to_string(at.port()) +
                 "/" + access);
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

std::string Host::outputs_line() const { return outputs_text(outputs_status()); }

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
  // History first: what the units delivered is worth more than telling the
  // broker, whose outbox is kept on disk for the next start anyway.
  storage_.writer.stop(std::chrono::seconds(4));
  if (outputs_.mqtt) outputs_.mqtt->stop(std::chrono::seconds(3));
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
  host->run_as("main", [&] {
    host->start();
    host->wait_for_rounds(options.rounds);
  });
  const StopDeadline deadline_of_stop(stop_bound, [&] {
    return "the stop took longer than " + std::to_string(stop_bound.count() / 1000) +
           " s; ending now with what is not written: " + host->outputs_line();
  });
  host->stop();
  return host->failed() ? 1 : 0;
}

}  // namespace kplhost
