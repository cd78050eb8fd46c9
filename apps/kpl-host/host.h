// kpl-host as an object: it loads a device plug-in, makes one device per
// configured unit, connects, polls, checks thresholds, publishes and keeps
// history from start() until stop(). main() runs one; the measurements in
// bench/ run the same object.
#pragma once

#include <boost/asio/io_context.hpp>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>

#include "apps/kpl-host/alarm_state_store.h"
#include "apps/kpl-host/config.h"
#include "apps/kpl-host/console.h"
#include "apps/kpl-host/device_calls.h"
#include "apps/kpl-host/device_slot.h"
#include "apps/kpl-host/event_log.h"
#include "apps/kpl-host/health_watch.h"
#include "apps/kpl-host/history_lock.h"
#include "apps/kpl-host/history_store.h"
#include "apps/kpl-host/history_writer.h"
#include "apps/kpl-host/http_server.h"
#include "apps/kpl-host/mqtt_bridge.h"
#include "apps/kpl-host/plugin_library.h"
#include "apps/kpl-host/publisher.h"
#include "apps/kpl-host/rule_engine.h"
#include "apps/kpl-host/service_notify.h"
#include "apps/kpl-host/status_routes.h"
#include "apps/kpl-host/tcp_transport.h"
#include "apps/kpl-host/work_queue.h"
#include "host/host_services.h"

namespace kplhost {

struct HostOptions {
  std::string plugin;
  // The config file; when empty, config_document is the configuration.
  std::string config;
  Json::Value config_document;
  std::string events;
  // Event kinds written to the event stream; empty: all of them.
  std::set<std::string> event_kinds;
  std::string history = "kpl-history.db";
  // Stop once every device has published this many images; 0: no limit.
  long rounds = 0;
  // Stop after this many seconds whatever happened; 0: no limit.
  double duration_s = 0;
  bool quiet = false;
  // "ADDR:PORT" of the status page, metrics and API; empty: none.
  std::string http;
  // Off for measurements that start each pass themselves.
  bool polling = true;
  // Lets a measurement put its own services in front of the host's; called
  // once, before the first device is made.
  std::function<void(HostServices&)> wrap_services;
};

class Poller;
class StatusTicker;

class Host {
 public:
  // Reads the configuration, opens the event stream and the history, and
  // loads the plug-in; throws std::exception with the line to print.
  explicit Host(HostOptions options);
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // Makes, configures and restores the devices, and starts connecting and
  // polling on the I/O thread.
  void start();
  // Waits until every device still running has published `rounds` images
  // (0: for ever), or until request_stop(); true in the first case.
  bool wait_for_rounds(long rounds);
  // Makes a wait return; from any thread.
  void request_stop();
  // A line of the host's own on the console; from any thread.
  void say(const std::string& text) { console_.say(text); }
  // Stops polling and connections, lets the round work already handed over
  // finish and history write what it can for a few seconds, and prints the
  // final status lines. Once only; the destructor calls it too.
  void stop();

  // The I/O thread's context, for timers and signals of the caller's, and
  // for measurements that call into a device on it.
  boost::asio::io_context& io() { return io_; }
  DeviceRegistry& registry() { return registry_; }
  // The services the host gives its devices.
  HostServices services() const { return services_; }
  // For measurements that make the device themselves: takes it as the
  // device of the next configured unit, before start().
  DeviceSlot& adopt(std::shared_ptr<KPLSocketDevice> device);

 private:
  void bring_up(DeviceSlot& slot);
  std::vector<std::string> device_status() const;
  void print_status();
  // devices: their status lines, as taken when polling ended.
  void print_status(const std::vector<std::string>& devices);

  HostOptions options_;
  Console console_;
  HostConfig config_;
  std::unique_ptr<EventLog> event_log_;
  HistoryLock history_lock_;
  std::unique_ptr<HistoryStore> history_;
  std::unique_ptr<AlarmStateStore> alarm_state_;
  std::unique_ptr<PluginLibrary> plugin_;
  EventFanout events_;
  // Devices are released before the library that made them is unloaded.
  DeviceRegistry registry_;
  boost::asio::io_context io_;
  DeviceCalls calls_;
  HistoryWriter history_writer_;
  RuleEngine rules_;
  TcpTransport transport_;
  WorkQueue worker_;
  HostPublisher publisher_;
  HostServices services_;
  HealthWatch watch_;
  std::unique_ptr<HttpServer> http_;
  std::unique_ptr<MqttBridge> mqtt_;
  ServiceNotifier service_;
  std::shared_ptr<KPLController> controller_;
  std::unique_ptr<Poller> poller_;
  std::unique_ptr<StatusTicker> ticker_;
  std::thread io_thread_;
  bool started_ = false;
  bool stopped_ = false;
};

// main()'s run: the host, stopped by SIGINT, SIGTERM, the duration or the
// round count. Returns the exit status; what kept it from starting is
// printed to standard error (status 2).
int run_host(const HostOptions& options);

}  // namespace kplhost
