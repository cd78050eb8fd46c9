// A configured QLTModel under a shared pointer, as a host holds it, with a
// reply ready for every batch of its plan, for tests and measurements that
// drive the receive path and the round by hand on the calling thread.
#pragma once

#include <json/value.h>

#include <cstring>
#include <memory>
#include <vector>

#include "host/host_services.h"
#include "model/qlt_model.h"
#include "testkit/frames.h"

class ModelRig {
 public:
  // config: the device's entry; services: where the model's host calls go,
  // null for the do-nothing ones (HostServices::none()); item: the 4 wire
  // bytes of every item the replies carry (1.0f: no alarm point in alarm).
  explicit ModelRig(const Json::Value& config, HostServices* services = nullptr,
                    unsigned int number = 7, const Bytes& item = wire_items({1.0f}));

  QLTModel& model() { return *model_; }
  const std::shared_ptr<QLTModel>& shared() const { return model_; }
  int batches() const { return model_->batch_count; }

  // Hands the reply of one batch to the host's receive entry, with the
  // transaction id its request last went out with.
  int feed(int batch) {
    Bytes& f = replies_[static_cast<size_t>(batch)];
    std::memcpy(f.data(), &model_->requests[static_cast<size_t>(batch)].trans_id, 2);
    return model_->process(model_->socket_id, f.data(), static_cast<int>(f.size()));
  }
  // A complete pass: RefreshStatus sends the first request, then every
  // reply in turn; the last one completes the round.
  void pass();
  // Takes the pass back to its first batch, keeping the first request as
  // the one awaited, so that a loop of replies never completes a round.
  void rewind();

 private:
  std::shared_ptr<QLTModel> model_;
  std::vector<Bytes> replies_;
};
