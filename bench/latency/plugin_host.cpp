#include "bench/latency/plugin_host.h"

#include <json/writer.h>

#include <boost/asio/post.hpp>
#include <fstream>

namespace qltbench {

PluginHost::PluginHost(const std::string& plugin_path, const Json::Value& entry,
                       const std::string& history) {
  Json::Value config;
  config["devices"].append(entry);
  const std::string config_path = history + ".json";
  std::ofstream(config_path) << Json::writeString(Json::StreamWriterBuilder(), config);

  kplhost::HostOptions options;
  options.plugin = plugin_path;
  options.config = config_path;
  options.history = history;
  options.quiet = true;
  options.polling = false;
  options.wrap_services = [this](HostServices& s) {
    rules_ = std::make_unique<TimingRules>(*s.rules, marks_);
    publisher_ = std::make_unique<TimingPublisher>(*s.publisher, marks_);
    s.rules = rules_.get();
    s.publisher = publisher_.get();
  };
  host_ = std::make_unique<kplhost::Host>(options);
  host_->start();
  slot_ = host_->registry().slots().front().get();
}

bool PluginHost::wait_connected(std::chrono::milliseconds limit) {
  // The host runs a first pass of its own as soon as the link is up; the
  // measured passes follow once its round's work has ended.
  std::unique_lock<std::mutex> g(marks_.lock);
  return marks_.ended.wait_for(g, limit, [this] { return slot_->connected && marks_.round_ended; });
}

PluginHost::Times PluginHost::pass(std::chrono::milliseconds limit) {
  // This thread only sleeps until the round has ended, so that it takes no
  // core from the host or the unit while the pass runs.
  marks_.reset();
  boost::asio::post(host_->io(), [this] {
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
