// Decorators over the host's rules and publisher that time a pass: the
// round's first rule call marks the image complete (the last reply copied,
// the date stamped), SendSP marks it published, and the history save, the
// last act of the round's work, ends the round.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "host/host_services.h"

namespace qltbench {

using Clock = std::chrono::steady_clock;

// Shared by both decorators. start, image and published are written on the
// I/O thread only; the history save that ends the round runs on the worker,
// which got the round's work from the I/O thread after SendSP, so whoever
// sees round_ended under the lock sees the marks too.
struct PassMarks {
  bool awaiting_image = false;
  Clock::time_point start, image, published;

  std::mutex lock;
  std::condition_variable ended;
  bool round_ended = false;
  // The device did not start the pass.
  bool refused = false;

  // By whoever starts a pass, before it does.
  void reset() {
    std::lock_guard<std::mutex> g(lock);
    round_ended = refused = false;
  }
  // On the I/O thread, just before the pass starts.
  void begin() {
    awaiting_image = true;
    start = Clock::now();
  }
  void end(bool was_refused = false) {
    {
      std::lock_guard<std::mutex> g(lock);
      round_ended = true;
      refused = was_refused;
    }
    ended.notify_all();
  }
};

class TimingRules final : public ThresholdRules {
 public:
  TimingRules(ThresholdRules& inner, PassMarks& marks) : inner_(inner), marks_(marks) {}

  int CheckThreshold(KPLVDevice& dev, const std::string& name, const std::string& desc,
                     const float& value, int number) override {
    mark();
    return inner_.CheckThreshold(dev, name, desc, value, number);
  }
  int CheckThresholdBool(KPLVDevice& dev, int one, const std::string& id, const std::string& code,
                         const std::string& desc, const std::string& label, bool flag,
                         unsigned short number) override {
    mark();
    return inner_.CheckThresholdBool(dev, one, id, code, desc, label, flag, number);
  }
  bool CheckAOReport(KPLVDevice& dev, const std::string& name, float value) override {
    return inner_.CheckAOReport(dev, name, value);
  }
  bool DoBatchCheckThreshold(KPLVDevice& dev, const std::vector<rule_value>& records) override {
    return inner_.DoBatchCheckThreshold(dev, records);
  }

 private:
  void mark() {
    if (!marks_.awaiting_image) return;
    marks_.image = Clock::now();
    marks_.awaiting_image = false;
  }

  ThresholdRules& inner_;
  PassMarks& marks_;
};

class TimingPublisher final : public Publisher {
 public:
  TimingPublisher(Publisher& inner, PassMarks& marks) : inner_(inner), marks_(marks) {}

  int SendSP(KPLVDevice& dev, int image_id, const unsigned char* data, int len,
             bool changed_only) override {
    marks_.published = Clock::now();
    return inner_.SendSP(dev, image_id, data, len, changed_only);
  }
  int SaveDeviceHistory(KPLVDevice& dev, const unsigned char* data, int len) override {
    const int r = inner_.SaveDeviceHistory(dev, data, len);
    marks_.end();
    return r;
  }

 private:
  Publisher& inner_;
  PassMarks& marks_;
};

}  // namespace qltbench
