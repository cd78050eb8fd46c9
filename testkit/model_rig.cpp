#include "testkit/model_rig.h"

#include "points/image_layout.h"

ModelRig::ModelRig(const Json::Value& config, HostServices* services, unsigned int number,
                   const Bytes& item)
    : model_(std::make_shared<QLTModel>()) {
  if (services) model_->services = services;
  model_->Init({}, number, config);
  model_->link_ready = 1;
  for (const rdu_read& req : model_->requests) replies_.push_back(reply_to(req, item));
}

void ModelRig::pass() {
  model_->RefreshStatus();
  for (int b = 0; b < batches(); ++b) feed(b);
}

void ModelRig::rewind() {
  // The reply awaited stays the one to the last request sent.
  auto& requests = model_->requests;
  requests.front().trans_id = requests[static_cast<size_t>(model_->cur_batch)].trans_id;
  model_->cur_batch = 0;
  model_->cursor = model_->image.get() + ImageLayout::header_bytes;
}
