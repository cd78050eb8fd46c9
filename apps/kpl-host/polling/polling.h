// Everything that runs the devices: the I/O thread with its connections and
// poll timers, the barrier around calls into devices, the threshold rules,
// the worker that runs each round's work, publishing, and the watch over
// every device's health. The services a device calls are these.
#pragma once

#include <boost/asio/io_context.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "apps/kpl-host/core/device_calls.h"
#include "apps/kpl-host/core/device_slot.h"
#include "apps/kpl-host/core/history_sink.h"
#include "apps/kpl-host/core/host_events.h"
#include "apps/kpl-host/polling/health_watch.h"
#include "apps/kpl-host/polling/poller.h"
#include "apps/kpl-host/polling/publisher.h"
#include "apps/kpl-host/polling/rule_engine.h"
#include "apps/kpl-host/polling/tcp_transport.h"
#include "apps/kpl-host/polling/work_queue.h"
#include "host/host_services.h"

namespace kplhost {

class Polling {
 public:
  Polling(DeviceRegistry& registry, HostEvents& events, HistorySink* history);
  ~Polling();
  Polling(const Polling&) = delete;
  Polling& operator=(const Polling&) = delete;

  // Starts the watch, the poll timers (unless `poll` is false, for
  // measurements that start each pass themselves) and the I/O thread. The
  // devices must all be in the registry by then.
  void start(std::chrono::milliseconds interval, bool poll);
  // Ends polling, every connection and the I/O thread; `before` runs on
  // that thread first. The worker goes on with the round work already
  // handed over, until worker.drain_and_stop().
  void stop_io(const std::function<void()>& before);

  boost::asio::io_context io;
  DeviceCalls calls;
  RuleEngine rules;
  TcpTransport transport;
  WorkQueue worker;
  HostPublisher publisher;
  HostServices services;
  HealthWatch watch;

 private:
  const DeviceRegistry& registry_;
  std::unique_ptr<Poller> poller_;
  std::thread io_thread_;
};

}  // namespace kplhost
