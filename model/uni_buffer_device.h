// A device whose whole observed state is one byte image, published under a
// fixed image id. It owns the image, restores it from a cached copy, and
// completes a round: point evaluation, analogue re-checks, publishing, and
// the hand-over of the round's rule results to the host's threshold worker.
#pragma once

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include <boost/date_time/posix_time/posix_time_types.hpp>

#include "host/kpl_vdevice.h"
#include "host/rule_value.h"

template <class Protocol, int ImageId>
class UniBufferDevice : public Protocol {
 public:
  UniBufferDevice() = default;
  ~UniBufferDevice() override = default;

  int LoadFromCache(const unsigned char* data, int len) override;
  using Protocol::LoadFromCache;
  void RoundDone() override;
  int InitSetting(const Json::Value& setting) override { return KPLVDevice::InitSetting(setting); }
  // The model's point evaluation; called once per round, before publishing.
  virtual void RunCheckThreshold() {}

  int image_size = 0;
  std::unique_ptr<unsigned char[]> image;

 protected:
  // Once the model has planned its image, a cached copy must have this size;
  // 0 while no plan exists. A restore of another size would leave every later
  // pass unable to fill the image, and a pass under way writing freed memory.
  int planned_image_size = 0;

 private:
  // The round's follow-up, run where the host chooses. It keeps the device
  // alive and owns the round's rule results.
  struct RoundWork {
    std::shared_ptr<KPLVDevice> keep_alive;
    UniBufferDevice* device;
    std::vector<rule_value> records;

    void operator()() {
      const bool changed = device->DoBatchCheckThreshold(records);
      device->check_result = changed || device->check_result;
      device->SaveDeviceHistory(device->image.get(), device->image_size);
    }
  };
};

template <class Protocol, int ImageId>
int UniBufferDevice<Protocol, ImageId>::LoadFromCache(const unsigned char* data, int len) {
  if (len < 0 || (len > 0 && data == nullptr)) return 0;
  if (planned_image_size != 0 && len != planned_image_size) {
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
  this->data_ready = true;
  this->update_time = boost::posix_time::second_clock::local_time();
  return 1;
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

  const size_t n = this->rule_batch.size();
  RoundWork work{this->shared_from_this(), this, std::move(this->rule_batch)};
  this->rule_batch.clear();
  this->CheckThresholdWork(std::function<void()>(std::move(work)));
  this->rule_batch.reserve(n);
}
