// The event stream: one JSON object per line, in the order the host sees
// the calls. Lines are buffered and all written out by the time it closes.
#pragma once

#include <cstdio>
#include <mutex>
#include <set>
#include <string>

#include "host/reference/host_events.h"

namespace kplhost {

class EventLog final : public HostEvents {
 public:
  // Opens (truncates) the file; throws std::runtime_error naming it. With
  // kinds given, only events of those kinds are written.
  explicit EventLog(const std::string& path, std::set<std::string> kinds = {});
  ~EventLog() override;

  void threshold(const DeviceSlot&, const std::string& name, const std::string& desc, float value,
                 int number) override;
  void alarm_point(const DeviceSlot&, int one, const std::string& id, const std::string& code,
                   const std::string& desc, const std::string& label, bool flag,
                   unsigned short number) override;
  void publish(const DeviceSlot&, int image_id, const unsigned char* data, int len) override;
  void round(const DeviceSlot&, const RoundSummary& summary) override;
  void link(const DeviceSlot&, bool up, const std::string& detail) override;

  void flush();

 private:
  // Starts a line: {"event":"<kind>","device":<number>
  static std::string begin(const char* kind, const DeviceSlot& slot);
  void write(std::string& line);
  bool wants(const char* kind) const { return kinds_.empty() || kinds_.count(kind) != 0; }

  const std::set<std::string> kinds_;
  std::mutex lock_;
  std::FILE* file_;
};

}  // namespace kplhost
