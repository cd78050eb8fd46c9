// kpl-host's own pieces in this process, running the plug-in from its shared
// library against one unit, wired as run_host wires them: the TCP transport
// on one I/O thread, the rules with events to a quiet console, the threshold
// worker, and SQLite history. Only the poller is left out: a pass starts when
// pass() asks, on the I/O thread under the device's lock as the poller
// starts it, so that it can be timed from there.
#pragma once

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>

#include <memory>
#include <string>
#include <thread>

#include "bench/latency/pass_marks.h"
#include "bench/support/reference_backend.h"
#include "apps/kpl-host/plugin_library.h"
#include "apps/kpl-host/tcp_transport.h"
#include "apps/kpl-host/work_queue.h"

namespace qltbench {

class PluginHost {
 public:
  // entry: the device's config entry; history: a database file to create.
  PluginHost(const std::string& plugin_path, const Json::Value& entry, const std::string& history);
  ~PluginHost();

  // Waits until the transport has connected; false when it has not in time.
  bool wait_connected(std::chrono::milliseconds limit);

  struct Times {
    bool ok = false;
    // From the start of the pass to the image complete, and to SendSP.
    std::chrono::nanoseconds image{0}, published{0};
  };
  // Runs one pass and waits for its round's work to end as well.
  Times pass(std::chrono::milliseconds limit);

 private:
  kplhost::PluginLibrary plugin_;
  kplhost::HistoryStore history_;
  ReferenceBackend backend_;
  boost::asio::io_context io_;
  boost::asio::executor_work_guard<boost::asio::io_context::executor_type> keep_running_;
  kplhost::TcpTransport transport_;
  kplhost::WorkQueue worker_;
  PassMarks marks_;
  TimingRules rules_;
  TimingPublisher publisher_;
  HostServices services_;
  std::shared_ptr<KPLController> controller_;
  kplhost::DeviceSlot* slot_ = nullptr;
  std::thread io_thread_;
};

}  // namespace qltbench
