// A device whose whole observed state is one byte image, published under a
// fixed image id. It owns the image, restores it from a cached copy, and
// completes a round: point evaluation, analogue re-checks, publishing, and
// the hand-over of the round's rule results to the host's threshold worker.
#pragma once

#include <atomic>
#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "host/kpl_vdevice.h"
#include "host/rule_value.h"

template <class Protocol, int ImageId>
class UniBufferDevice : public Protocol {
 public:
  UniBufferDevice() = default;
  ~UniBufferDevice() override { delete spare_work_.load(); }

  int LoadFromCache(const unsigned char* data, int len) override;
  using Protocol::LoadFromCache;
  void RoundDone() override;
  // Only forwards: the host's own InitSetting keeps the setting, and the
  // slot must be overridden here all the same.
  int InitSetting(const Json::Value& setting) override { return KPLVDevice::InitSetting(setting); }
  // The model's point evaluation; called once per round, before publishing.
  virtual void RunCheckThreshold() {}

  int image_size = 0;
  std::unique_ptr<unsigned char[]> image;

 protected:
  // The image size the model planned at Init, which a cached copy must have
  // (0: nothing planned, no copy fits); -1 until then, when any size is
  // taken. A restore of another size would leave every later pass unable to
  // fill the image, and a pass under way writing freed memory.
  int planned_image_size = -1;

 private:
  // A round's follow-up, run where and when the host chooses: it owns the
  // round's rule results and the image as it was published, and keeps the
  // device alive. A finished one is handed back through spare_work_ and
  // reused, so a steady round allocates nothing; only when the host still
  // holds the last one does a round make another.
  struct RoundWork {
    std::shared_ptr<KPLVDevice> keep_alive;
    UniBufferDevice* device = nullptr;
    std::vector<rule_value> records;
    std::vector<unsigned char> image;
    // Set for each hand-over; a second run of the same one does nothing.
    std::atomic<bool> armed{false};

    void run();
  };
  // What the host receives: one pointer, which std::function keeps in place
  // without allocating. The host is to run it once; one it destroys unrun
  // keeps its device for good.
  struct RunWork {
    RoundWork* work;
    void operator()() const { work->run(); }
  };
  RoundWork* take_work();

  std::atomic<RoundWork*> spare_work_{nullptr};
};

template <class Protocol, int ImageId>
int UniBufferDevice<Protocol, ImageId>::LoadFromCache(const unsigned char* data, int len) {
  if (len < 0 || (len > 0 && data == nullptr)) return 0;
  if (planned_image_size >= 0 && (len == 0 || len != planned_image_size)) {
    std::printf("UniBufferDevice::LoadFromCache refused: data_id:%u len:%d expected:%d\n",
                this->data_id, len, planned_image_size);
    std::fflush(stdout);
    return 0;
  }
  if (len != image_size || !image) {
    image_size = len;
    image.reset(new unsigned char[static_cast<size_t>(len)]());
  }
  if (len > 0) std::memcpy(image.get(), data, static_cast<size_t>(len));
  // The image starts with the number of the device it belongs to; a copy
  // saved under another number must not carry that number into every image
  // published from now on.
  if (planned_image_size > 0) {
    const std::uint32_t number = this->device_number;
    std::memcpy(image.get(), &number, sizeof number);
  }
  this->data_ready = true;
  this->update_time = boost::posix_time::second_clock::local_time();
  return 1;
}

template <class Protocol, int ImageId>
typename UniBufferDevice<Protocol, ImageId>::RoundWork*
UniBufferDevice<Protocol, ImageId>::take_work() {
  RoundWork* w = spare_work_.exchange(nullptr);
  return w ? w : new RoundWork;
}

template <class Protocol, int ImageId>
void UniBufferDevice<Protocol, ImageId>::RoundWork::run() {
  if (!armed.exchange(false)) return;
  // The last reference may go at the end of this call, and the device with
  // it, deleting this object as its spare: nothing here is touched after
  // the hand-back.
  const std::shared_ptr<KPLVDevice> keep = std::move(keep_alive);
  UniBufferDevice& dev = *device;
  const bool changed = dev.DoBatchCheckThreshold(records);
  dev.check_result = changed || dev.check_result;
  dev.SaveDeviceHistory(image.data(), static_cast<int>(image.size()));
  records.clear();
  delete dev.spare_work_.exchange(this);
}

template <class Protocol, int ImageId>
void UniBufferDevice<Protocol, ImageId>::RoundDone() {
  if (!this->data_ready) this->data_ready = true;
  this->state_word = 1;
  this->check_result = false;
  RunCheckThreshold();

  for (const std::string& listed : this->ao_names) {
    auto it = this->ao_values.find(listed);
    if (it == this->ao_values.end()) continue;
    // The map's own key and value are passed: they stay put while the host
    // updates the map, and nothing is copied.
    const bool moved = this->CheckAOReport(it->first, it->second);
    this->check_result = moved || this->check_result;
    static const std::string no_desc;
    this->CheckThreshold(it->first, no_desc, it->second, 1);
  }

  this->update_time = boost::posix_time::second_clock::local_time();
  this->SendSP(ImageId, image.get(), image_size, false);
  this->Reset();

  // A device the host does not hold by a shared pointer throws
  // std::bad_weak_ptr here, by the host contract; the round's rule results
  // then stay in rule_batch, untouched.
  std::shared_ptr<KPLVDevice> self = this->shared_from_this();
  RoundWork* w = take_work();
  w->keep_alive = std::move(self);
  w->device = this;
  // The records move out by swapping vectors: the device gets back the
  // emptied vector of an earlier round, with its room.
  w->records.swap(this->rule_batch);
  w->image.assign(image.get(), image.get() + image_size);
  w->armed = true;
  const size_t n = w->records.size();
  this->CheckThresholdWork(std::function<void()>(RunWork{w}));
  this->rule_batch.reserve(n);
}
