// Host events kept in order, as text, for tests of the host's parts.
#pragma once

#include <string>
#include <vector>

#include "apps/kpl-host/core/device_slot.h"
#include "apps/kpl-host/core/host_events.h"

class RecordingEvents final : public kplhost::HostEvents {
 public:
  void threshold(const kplhost::DeviceSlot&, const std::string& name, const std::string&, float,
                 int number) override {
    seen.push_back("threshold " + name + " " + std::to_string(number));
  }
  void alarm_point(const kplhost::DeviceSlot&, int, const std::string& id, const std::string&,
                   const std::string&, const std::string& label, bool flag,
                   unsigned short) override {
    seen.push_back("alarm_point " + label + "/" + id + (flag ? " on" : " off"));
  }
  void publish(const kplhost::DeviceSlot&, int image_id, const unsigned char*, int len) override {
    seen.push_back("publish " + std::to_string(image_id) + " " + std::to_string(len));
  }
  void round(const kplhost::DeviceSlot&, const kplhost::RoundSummary& s) override {
    for (const auto& c : s.changes)
      seen.push_back(std::string(c.raised ? "raised " : "cleared ") +
                     (c.record.label.empty() ? "" : c.record.label + "/") + c.record.name);
  }
  void link(const kplhost::DeviceSlot&, bool up, const std::string&) override {
    seen.push_back(up ? "up" : "down");
  }
  void mqtt(const std::string& state, const std::string& detail) override {
    seen.push_back("mqtt " + state);
    details.push_back(detail);
  }
  std::vector<std::string> seen;
  std::vector<std::string> details;
};

// A device with nothing of its own, for the host's services to act on.
class BareDevice : public KPLSocketDevice {
 public:
  int LoadFromCache(const unsigned char*, int) override { return 1; }
};
