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
  ~UniBufferDevice() override { delete spare_buffers_.load(); }

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
  // What a round's work item reads: the round's rule results and the image
  // as it was published. Once no copy of the item is left they come back to
  // the device, emptied, for a later round to fill, so a steady round makes
  // no new room for them.
  struct RoundBuffers {
    std::vector<rule_value> records;
    std::vector<unsigned char> image;
  };
  // A round's follow-up, shared by every copy of the std::function the host
  // holds. It owns its buffers and keeps the device alive; nothing in it
  // changes once made, except that the first run of any copy marks it run,
  // so that a round's rules and history are fed once, and only with that
  // round's data.
  class RoundWork {
   public:
    RoundWork(std::shared_ptr<UniBufferDevice> device, std::unique_ptr<RoundBuffers> buffers)
        : device_(std::move(device)), buffers_(std::move(buffers)) {}
    ~RoundWork();
    RoundWork(const RoundWork&) = delete;
    RoundWork& operator=(const RoundWork&) = delete;
    void run() const;

   private:
    std::shared_ptr<UniBufferDevice> device_;
    std::unique_ptr<RoundBuffers> buffers_;
    mutable std::atomic<bool> ran_{false};
  };

  // Buffers handed back by the last work item to go; taken by the next round.
  std::atomic<RoundBuffers*> spare_buffers_{nullptr};
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
UniBufferDevice<Protocol, ImageId>::RoundWork::~RoundWork() {
  // The device outlives this body: device_ is released after it.
  buffers_->records.clear();
  delete device_->spare_buffers_.exchange(buffers_.release());
}

template <class Protocol, int ImageId>
void UniBufferDevice<Protocol, ImageId>::RoundWork::run() const {
  if (ran_.exchange(true)) return;
  UniBufferDevice& dev = *device_;
  const bool changed = dev.DoBatchCheckThreshold(buffers_->records);
  dev.check_result = changed || dev.check_result;
  dev.SaveDeviceHistory(buffers_->image.data(), static_cast<int>(buffers_->image.size()));
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
  std::unique_ptr<RoundBuffers> buffers(spare_buffers_.exchange(nullptr));
  if (!buffers) buffers.reset(new RoundBuffers);
  // The records move out by swapping vectors: the device gets back the
  // emptied vector of an earlier round, with its room.
  buffers->records.swap(this->rule_batch);
  buffers->image.assign(image.get(), image.get() + image_size);
  this->rule_batch.reserve(buffers->records.size());
  // One allocation for the item's state, and one where std::function keeps
  // the lambda that shares it. Nothing of this device is touched after the
  // hand-over: a host that runs and drops the item at once may release the
  // device with it.
  auto work = std::make_shared<const RoundWork>(
      std::shared_ptr<UniBufferDevice>(std::move(self), this), std::move(buffers));
  this->CheckThresholdWork([work = std::move(work)] { work->run(); });
}
