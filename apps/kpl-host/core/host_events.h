// What the host sees happen, for whoever records or shows it: the event
// stream and the console both listen here.
#pragma once

#include <string>
#include <vector>

#include "apps/kpl-host/core/alarm_list.h"
#include "apps/kpl-host/core/device_health.h"
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

// The end of a round's threshold check. The round's values and active
// alarms are the device's view (DeviceSlot::view) by then.
struct RoundSummary {
  long round = 0;
  size_t records = 0;
  std::vector<AlarmChange> changes;
  // The round's rule results, while the listeners are told.
  const std::vector<rule_value>* results = nullptr;
};

// How the history database keeps up with the rounds.
struct HistoryState {
  enum Kind { ok, behind, failing };
  Kind kind = ok;
  // Rows waiting to be written, and rows dropped since the host started.
  long queued = 0;
  long dropped = 0;
  // The database's own words, while failing.
  std::string detail;
};
inline const char* history_state_name(HistoryState::Kind kind) {
  switch (kind) {
    case HistoryState::behind:
      return "behind";
    case HistoryState::failing:
      return "failing";
    default:
      return "ok";
  }
}

// A listener overrides what it records or shows; the rest it does not hear.
class HostEvents {
 public:
  virtual ~HostEvents() = default;
  virtual void threshold(const DeviceSlot&, const std::string& /*name*/,
                         const std::string& /*desc*/, float /*value*/, int /*number*/) {}
  virtual void alarm_point(const DeviceSlot&, int /*one*/, const std::string& /*id*/,
                           const std::string& /*code*/, const std::string& /*desc*/,
                           const std::string& /*label*/, bool /*flag*/, unsigned short /*number*/) {
  }
  virtual void publish(const DeviceSlot&, int /*image_id*/, const unsigned char* /*data*/,
                       int /*len*/) {}
  // The end of a round's threshold check, on the worker thread.
  virtual void round(const DeviceSlot&, const RoundSummary& /*summary*/) {}
  virtual void link(const DeviceSlot&, bool /*up*/, const std::string& /*detail*/) {}
  // The history database fell behind, fails, or is fine again.
  virtual void history(const HistoryState&) {}
  // A call into the device threw; the host calls into it no more.
  virtual void device_failed(const DeviceSlot&, const std::string& /*detail*/) {}
  // The broker connection: "connected", "disconnected", "refused",
  // "outbox_full", "failing", with what happened.
  virtual void mqtt(const std::string& /*state*/, const std::string& /*detail*/) {}
  // The device's health changed state.
  virtual void device_state(const DeviceSlot&, HealthState) {}
  // The device delivered no round for longer than it may (lost), or its
  // first round since then has come (found again).
  virtual void communication(const DeviceSlot&, bool /*lost*/, const std::string& /*detail*/) {}
  // An operator acknowledged a listed alarm (ack_by, ack_time set), on the
  // worker thread.
  virtual void acknowledged(const DeviceSlot&, const ListedAlarm&) {}
  // A threshold ("thresholds") or a re-checked value ("ao_names") is
  // configured for a name no point of the device carries; hint is the
  // nearest name it does carry, or empty.
  virtual void unknown_point(const DeviceSlot&, const char* /*key*/, const std::string& /*name*/,
                             const std::string& /*hint*/) {}
};

// Passes every event to each listener in turn.
class EventFanout final : public HostEvents {
 public:
  void add(HostEvents* l) { listeners_.push_back(l); }

  void threshold(const DeviceSlot& s, const std::string& name, const std::string& desc, float value,
                 int number) override {
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
  void history(const HistoryState& h) override {
    for (HostEvents* l : listeners_) l->history(h);
  }
  void device_failed(const DeviceSlot& s, const std::string& detail) override {
    for (HostEvents* l : listeners_) l->device_failed(s, detail);
  }
  void unknown_point(const DeviceSlot& s, const char* key, const std::string& name,
                     const std::string& hint) override {
    for (HostEvents* l : listeners_) l->unknown_point(s, key, name, hint);
  }
  void mqtt(const std::string& state, const std::string& detail) override {
    for (HostEvents* l : listeners_) l->mqtt(state, detail);
  }
  void device_state(const DeviceSlot& s, HealthState state) override {
    for (HostEvents* l : listeners_) l->device_state(s, state);
  }
  void communication(const DeviceSlot& s, bool lost, const std::string& detail) override {
    for (HostEvents* l : listeners_) l->communication(s, lost, detail);
  }
  void acknowledged(const DeviceSlot& s, const ListedAlarm& a) override {
    for (HostEvents* l : listeners_) l->acknowledged(s, a);
  }

 private:
  std::vector<HostEvents*> listeners_;
};

}  // namespace kplhost
