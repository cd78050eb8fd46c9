// What a person watching the host sees: a summary of every round, links
// going up and down, and a one-line status per device. Lines go to standard
// output whole, so they do not mix with the plug-in's own diagnostics.
#pragma once

#include <functional>
#include <mutex>
#include <string>

#include "apps/kpl-host/core/device_view.h"
#include "apps/kpl-host/core/host_events.h"
#include "apps/kpl-host/core/outputs_status.h"

namespace kplhost {

class Console final : public HostEvents {
 public:
  explicit Console(bool quiet) : quiet_(quiet) {}

  void round(const DeviceSlot&, const RoundSummary& summary) override;
  void link(const DeviceSlot&, bool up, const std::string& detail) override;
  void history(const HistoryState& state) override;
  void device_failed(const DeviceSlot&, const std::string& detail) override;
  void unknown_point(const DeviceSlot&, const char* key, const std::string& name,
                     const std::string& hint) override;
  void communication(const DeviceSlot&, bool lost, const std::string& detail) override;
  void mqtt(const std::string& state, const std::string& detail) override;
  void acknowledged(const DeviceSlot&, const ListedAlarm& alarm) override;

  // A device's status line, to print now or later.
  static std::string status_text(const DeviceSlot& slot);
  // A line of the host's own, printed even when quiet.
  void say(const std::string& text);
  // A line as it stands, printed even when quiet.
  void print(const std::string& text);
  // Where lines go instead of standard output (without their line feed);
  // nothing: standard output again.
  void send_to(std::function<void(const std::string&)> sink);

 private:
  bool quiet_;
  std::mutex lock_;
  std::function<void(const std::string&)> sink_;
};

// The round's analogue values grouped for reading: "temperature 23.4 24.1 °C".
std::string analogue_summary(const std::vector<PointValue>& values);
// One alarm as a person reads it: block label, id, code and its text.
std::string alarm_text(const rule_value& r);
// The history's state as the console shows it: "ok, 0 rows waiting, 0 dropped".
std::string history_text(const HistoryState& state);
// The host's status line: "history: ...; event stream: ...; mqtt: ...".
std::string outputs_text(const OutputsStatus& outputs);

}  // namespace kplhost
