// What the host sees happen, for whoever records or shows it: the event
// stream and the console both listen here.
#pragma once

#include <string>
#include <vector>

#include "host/rule_value.h"

namespace kplhost {

struct DeviceSlot;

// An alarm that started or ended between two rounds.
struct AlarmChange {
  bool raised;
  rule_value record;
  // For an analogue value: the limit it crossed.
  double min = 0, max = 0;
  bool has_min = false, has_max = false;
};

struct RoundSummary {
  long round;
  const std::vector<rule_value>* records;
  std::vector<AlarmChange> changes;
};

class HostEvents {
 public:
  virtual ~HostEvents() = default;
  virtual void threshold(const DeviceSlot&, const std::string& name, const std::string& desc,
                         float value, int number) = 0;
  virtual void alarm_point(const DeviceSlot&, int one, const std::string& id,
                           const std::string& code, const std::string& desc,
                           const std::string& label, bool flag, unsigned short number) = 0;
  virtual void publish(const DeviceSlot&, int image_id, const unsigned char* data, int len) = 0;
  virtual void round(const DeviceSlot&, const RoundSummary& summary) = 0;
  virtual void link(const DeviceSlot&, bool up, const std::string& detail) = 0;
};

// Passes every event to each listener in turn.
class EventFanout final : public HostEvents {
 public:
  void add(HostEvents* l) { listeners_.push_back(l); }

  void threshold(const DeviceSlot& s, const std::string& name, const std::string& desc,
                 float value, int number) override {
    for (HostEvents* l : listeners_) l->threshold(s, name, desc, value, number);
  }
  void alarm_point(const DeviceSlot& s, int one, const std::string& id, const std::string& code,
                   const std::string& desc, const std::string& label, bool flag,
                   unsigned short number) override {
    for (HostEvents* l : listeners_) l->alarm_point(s, one, id, code, desc, label, flag, number);
  }
  void publish(const DeviceSlot& s, int image_id, const unsigned char* data, int len) override {
    for (HostEvents* l : listeners_) l->publish(s, image_id, data, len);
  }
  void round(const DeviceSlot& s, const RoundSummary& summary) override {
    for (HostEvents* l : listeners_) l->round(s, summary);
  }
  void link(const DeviceSlot& s, bool up, const std::string& detail) override {
    for (HostEvents* l : listeners_) l->link(s, up, detail);
  }

 private:
  std::vector<HostEvents*> listeners_;
};

}  // namespace kplhost
