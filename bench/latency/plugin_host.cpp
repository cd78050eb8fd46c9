#include "bench/latency/plugin_host.h"

#include <boost/asio/post.hpp>

namespace qltbench {

namespace {

class Controller final : public KPLController {};

}  // namespace

PluginHost::PluginHost(const std::string& plugin_path, const Json::Value& entry,
                       const std::string& history)
    : plugin_(plugin_path),
      history_(history, 1000),
      backend_(&history_),
      keep_running_(io_.get_executor()),
      transport_(io_, backend_.registry, backend_.events, backend_.calls),
      worker_(backend_.registry, backend_.calls),
      rules_(backend_.rules, marks_),
      publisher_(backend_.publisher, marks_),
      services_{&transport_, &rules_, &worker_, &publisher_},
      controller_(std::make_shared<Controller>()) {
  std::shared_ptr<KPLSocketDevice> device = plugin_.create_device();
  device->services = &services_;
  slot_ = &backend_.adopt(device, entry);
  device->Init(controller_, slot_->config.device_number, slot_->config.json);
  io_thread_ = std::thread([this] { io_.run(); });
}

PluginHost::~PluginHost() {
  boost::asio::post(io_, [this] {
    transport_.close_all();
    io_.stop();
  });
  io_thread_.join();
  worker_.drain_and_stop();
  // Devices go before the library that made them.
  backend_.registry.clear();
}

bool PluginHost::wait_connected(std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  while (!slot_->connected) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

PluginHost::Times PluginHost::pass(std::chrono::milliseconds limit) {
  // This thread only sleeps until the round has ended, so that it takes no
  // core from the host or the unit while the pass runs.
  marks_.reset();
  boost::asio::post(io_, [this] {
    std::lock_guard<std::mutex> g(slot_->lock);
    marks_.begin();
    if (slot_->device->RefreshStatus() != 1) marks_.end(true);
  });
  Times t;
  std::unique_lock<std::mutex> g(marks_.lock);
  if (!marks_.ended.wait_for(g, limit, [this] { return marks_.round_ended; }) || marks_.refused)
    return t;
  t.ok = true;
  t.image = marks_.image - marks_.start;
  t.published = marks_.published - marks_.start;
  return t;
}

}  // namespace qltbench
