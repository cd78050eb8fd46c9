// kpl-host as an object: it loads a device plug-in, makes one device per
// configured unit, connects, polls, checks thresholds, publishes and keeps
// history from start() until stop(). main() runs one; the measurements in
// bench/ run the same object. It is the one place that sees every room of
// the host: it assembles them and wires them together.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "apps/kpl-host/core/config.h"
#include "apps/kpl-host/core/device_slot.h"
#include "apps/kpl-host/core/host_events.h"
#include "apps/kpl-host/core/outputs_status.h"
#include "apps/kpl-host/core/thread_guard.h"
#include "apps/kpl-host/mqtt/mqtt_bridge.h"
#include "apps/kpl-host/options.h"
#include "apps/kpl-host/outputs/console.h"
#include "apps/kpl-host/outputs/event_log.h"
#include "apps/kpl-host/outputs/stdout_filter.h"
#include "apps/kpl-host/plugin_library.h"
#include "apps/kpl-host/polling/polling.h"
#include "apps/kpl-host/service_notify.h"
#include "apps/kpl-host/storage/alarm_log.h"
#include "apps/kpl-host/storage/storage.h"
#include "apps/kpl-host/view/http_server.h"
#include "apps/kpl-host/view/web_config.h"
#include "host/host_services.h"

namespace kplhost {

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
  // Runs f on the calling thread as one of the host's: what escapes it is
  // said and stops the host, as for the host's own threads.
  template <class F>
  void run_as(const char* thread, F&& f) {
    threads_.run(thread, std::forward<F>(f));
  }
  // Whether one of the host's threads failed, and so stopped it.
  bool failed() const { return threads_.any_failed(); }
  // SIGHUP: opens the event file by its name again (an outside rotation has
  // renamed it) and says so. The configuration is not read again.
  void hang_up();
  // A line of the host's own on the console; from any thread.
  void say(const std::string& text) { console_.say(text); }
  // The outputs' status line: history, event stream, broker; from any thread.
  std::string outputs_line() const;
  // Stops polling and connections, lets the round work already handed over
  // finish and history write what it can for a few seconds, and prints the
  // final status lines. Once only; the destructor calls it too.
  void stop();

  // The I/O thread's context, for timers and signals of the caller's, and
  // for measurements that call into a device on it.
  boost::asio::io_context& io() { return polling_.io; }
  DeviceRegistry& registry() { return devices_.registry; }
  // The services the host gives its devices.
  HostServices services() const { return polling_.services; }
  // For measurements that make the device themselves: takes it as the
  // device of the next configured unit, before start().
  DeviceSlot& adopt(std::shared_ptr<KPLSocketDevice> device);

 private:
  // The outputs besides the console: the event stream when asked for, the
  // broker connection when configured.
  struct Outputs {
    std::unique_ptr<EventLog> event_log;
    std::unique_ptr<MqttBridge> mqtt;
  };
  // The plug-in and the devices it made; the devices go before the library.
  struct Devices {
    std::unique_ptr<PluginLibrary> plugin;
    DeviceRegistry registry;
    std::shared_ptr<KPLController> controller;
  };

  void bring_up(DeviceSlot& slot);
  void filter_stdout();
  OutputsStatus outputs_status() const;
  std::vector<std::string> device_status() const;
  void print_status();
  // devices: their status lines, as taken when polling ended.
  void print_status(const std::vector<std::string>& devices);

  HostOptions options_;
  Console console_;
  // Before every part that starts a thread, so that it outlives them all.
  ThreadGuard threads_;
  HostConfig config_;
  WebConfig web_config_;
  // Standard output through the limiter, when asked for.
  std::unique_ptr<FilteredStdout> filtered_;
  std::atomic<bool> devices_ready_{false};
  EventFanout events_;
  Outputs outputs_;
  Storage storage_;
  AlarmLog alarm_log_;
  Devices devices_;
  Polling polling_;
  std::unique_ptr<HttpServer> http_;
  ServiceNotifier service_;
  std::unique_ptr<StatusTicker> ticker_;
  bool started_ = false;
  bool stopped_ = false;
};

// main()'s run: the host, stopped by SIGINT, SIGTERM, the duration or the
// round count. Returns the exit status: 0; 2 when it could not start, which
// is printed to standard error; 1 when one of its threads failed, which is
// said on the console.
int run_host(const HostOptions& options);

}  // namespace kplhost
