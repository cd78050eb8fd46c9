// A configured QLTModel under a shared pointer, as a host holds it, with a
// reply ready for every batch of its plan, for measurements that drive the
// receive path and the round by hand on the calling thread.
#pragma once

#include <cstring>
#include <memory>
#include <vector>

#include "bench/support/device_json.h"
#include "bench/support/reply_frames.h"
#include "host/host_services.h"
#include "model/qlt_model.h"

namespace qltbench {

class ModelRig {
 public:
  // services: where the model's host calls go; null takes the do-nothing
  // ones (HostServices::none()).
  explicit ModelRig(Blocks blocks, HostServices* services = nullptr, unsigned int number = 7);

  QLTModel& model() { return *model_; }
  const std::shared_ptr<QLTModel>& shared() const { return model_; }
  int batches() const { return model_->batch_count; }

  // Hands the reply of one batch to the host's receive entry, with the
  // transaction id its request last went out with.
  int feed(int batch) {
    Frame& f = replies_[static_cast<size_t>(batch)];
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
  std::vector<Frame> replies_;
};

}  // namespace qltbench
