// kpl-host itself in this process, running the plug-in from its shared
// library against one unit: the same Host object that main() runs, with its
// poller off, so that a pass starts when pass() asks (on the I/O thread,
// under the device's lock, as the poller would start it) and can be timed
// from there, and with timing services in front of its rules and publisher.
#pragma once

#include <memory>
#include <string>

#include "apps/kpl-host/host.h"
#include "bench/latency/pass_marks.h"

namespace qltbench {

class PluginHost {
 public:
  // entry: the device's config entry; history: a database file to create
  // (its config is written beside it).
  PluginHost(const std::string& plugin_path, const Json::Value& entry, const std::string& history);

  // Waits until the transport has connected and the host's first round has
  // ended; false when that has not happened in time.
  bool wait_connected(std::chrono::milliseconds limit);

  struct Times {
    bool ok = false;
    // From the start of the pass to the image complete, and to SendSP.
    std::chrono::nanoseconds image{0}, published{0};
  };
  // Runs one pass and waits for its round's work to end as well.
  Times pass(std::chrono::milliseconds limit);

 private:
  PassMarks marks_;
  std::unique_ptr<TimingRules> rules_;
  std::unique_ptr<TimingPublisher> publisher_;
  std::unique_ptr<kplhost::Host> host_;
  kplhost::DeviceSlot* slot_ = nullptr;
};

}  // namespace qltbench
