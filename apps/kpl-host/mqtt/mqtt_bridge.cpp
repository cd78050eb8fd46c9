#include "apps/kpl-host/mqtt/mqtt_bridge.h"

#include "apps/kpl-host/core/alarm_text.h"
#include "apps/kpl-host/core/device_report.h"
#include "apps/kpl-host/core/endpoint_text.h"
#include "apps/kpl-host/core/json_text.h"
#include "apps/kpl-host/storage/sqlite_file.h"

namespace kplhost {

namespace {

// Rows handed to the library and not yet acknowledged, at the most.
constexpr size_t max_in_flight = 100;
constexpr size_t max_values_waiting = 1000;

std::string now_text() { return local_time_text(DeviceHealth::Wall::now()); }

std::string endpoint(const MqttConfig& c) { return endpoint_text(c.host, c.port); }

// The handlers run on the connection's network thread, whose root is not
// the host's: this is the last place to catch what escapes them.
template <class F>
auto on_network_thread(ThreadGuard& threads, F f) {
  return [&threads, f](auto&&... args) { threads.run("MQTT network", [&] { f(args...); }); };
}

// ,"device":7 and the names the device was given: a subscriber reads them,
// the topic carries the number alone.
std::string device_fields(const DeviceSlot& slot) {
  std::string out = ",\"device\":" + std::to_string(slot.config.device_number);
  append_device_names(out, slot.config.name, slot.config.location);
  return out;
}

}  // namespace

MqttBridge::MqttBridge(const MqttConfig& config, const std::string& db_path, HostEvents& others,
                       ThreadGuard& threads, const MqttConnection::Make& connect)
    : config_(config), others_(others), threads_(threads), outbox_(db_path, config.outbox_limit) {
  MqttConnection::Handlers h;
  h.connected = on_network_thread(threads_, [this](int rc, const std::string& reason) {
    if (rc != 0) {
      others_.mqtt("refused", "broker " + endpoint(config_) + " refused the connection: " + reason +
                                  "; trying again");
      return;
    }
    {
      std::lock_guard<std::mutex> g(lock_);
      connected_ = true;
      just_connected_ = true;
      unreachable_.clear();
      ++connection_;
      // What the broker did not acknowledge goes out again, from the oldest.
      sent_up_to_ = 0;
      in_flight_.clear();
      for (const auto& r : retained_) dirty_.insert(r.first);
    }
    wake_.notify_one();
    others_.mqtt("connected", "connected to " + endpoint(config_) + " as " + config_.client_id +
                                  "; " + std::to_string(outbox_.size()) +
                                  " alarm change(s) to send");
  });
  h.disconnected = on_network_thread(threads_, [this](const std::string& reason) {
    bool was;
    {
      std::lock_guard<std::mutex> g(lock_);
      // A stop on purpose is no loss.
      was = connected_ && !stopping_;
      connected_ = false;
    }
    if (was)
      others_.mqtt("disconnected", "lost the broker " + endpoint(config_) +
                                       (reason.empty() ? "" : ": " + reason) +
                                       "; alarm changes wait in the outbox");
  });
  h.unreachable = on_network_thread(threads_, [this](const std::string& reason) {
    // Said once for each new reason, not at every attempt.
    {
      std::lock_guard<std::mutex> g(lock_);
      if (reason == unreachable_) return;
      unreachable_ = reason;
    }
    others_.mqtt("unreachable",
                 "cannot connect to " + endpoint(config_) + ": " + reason + "; trying again");
  });
  h.acknowledged = on_network_thread(threads_, [this](int mid) {
    {
      std::lock_guard<std::mutex> g(lock_);
      acked_.push_back(mid);
    }
    wake_.notify_one();
  });
  client_ = connect(config_, config_.topic_prefix + "/status", "offline", std::move(h));
  retain(config_.topic_prefix + "/status", "online");
}

MqttBridge::~MqttBridge() { stop(std::chrono::milliseconds(0)); }

void MqttBridge::start() {
  sender_ = threads_.start("MQTT sender", [this] { send_loop(); });
  client_->start(threads_);
}

MqttStatus MqttBridge::status() const {
  std::lock_guard<std::mutex> g(lock_);
  return {connected_, outbox_.size(), dropped_, published_, values_dropped_};
}

std::string MqttBridge::device_topic(const DeviceSlot& slot, const char* leaf) const {
  return config_.topic_prefix + "/devices/" + std::to_string(slot.config.device_number) + "/" +
         leaf;
}

void MqttBridge::keep(const DeviceSlot& slot, const std::string& fields) {
  std::string payload = "{\"seq\":" + std::to_string(outbox_.next_seq()) + device_fields(slot) +
                        fields + ",\"time\":";
  append_json_string(payload, now_text());
  payload += '}';
  long dropped = 0;
  try {
    dropped = outbox_.append(device_topic(slot, "alarms"), payload);
  } catch (const HistoryError& e) {
    others_.mqtt("failing", std::string("cannot keep an alarm change in the outbox: ") + e.what());
    return;
  }
  bool tell = false;
  long total = 0;
  {
    std::lock_guard<std::mutex> g(lock_);
    dropped_ += dropped;
    total = dropped_;
    tell = dropped > 0 && !dropping_reported_;
    if (dropped > 0) dropping_reported_ = true;
  }
  wake_.notify_one();
  if (tell)
    others_.mqtt("outbox_full", "the outbox holds its limit of " +
                                    std::to_string(config_.outbox_limit) +
                                    " alarm changes; the oldest are dropped (" +
                                    std::to_string(total) + " so far)");
}

void MqttBridge::retain(const std::string& topic, std::string payload) {
  {
    std::lock_guard<std::mutex> g(lock_);
    retained_[topic] = std::move(payload);
    dirty_.insert(topic);
  }
  wake_.notify_one();
}

void MqttBridge::active_changed(const DeviceSlot& slot) {
  std::string p = "{" + device_fields(slot).substr(1) + ",\"alarms\":[";
  bool first = true;
  // The active alarms of the alarm list, which knows of a communication loss
  // still on from before a restart, and who acknowledged each.
  for (const ListedAlarm& a : slot.listed.snapshot()) {
    if (!a.active) continue;
    p += first ? "{" : ",{";
    first = false;
    if (a.key == communication_lost_id)
      append_alarm_fields(p, communication_lost_id, "", "communication lost", "");
    else
      append_alarm_fields(p, a.id, a.code, a.desc, a.label);
    if (a.acknowledged()) {
      p += ",\"acknowledged\":true,\"by\":";
      append_json_string(p, a.ack_by);
      p += ",\"ack_time\":";
      append_json_string(p, a.ack_time);
    }
    p += '}';
  }
  p += "],\"time\":";
  append_json_string(p, now_text());
  p += '}';
  retain(device_topic(slot, "active"), std::move(p));
}

void MqttBridge::round(const DeviceSlot& slot, const RoundSummary& summary) {
  for (const AlarmChange& c : summary.changes) {
    std::string fields;
    append_alarm_change(fields, c, summary.round);
    keep(slot, fields);
  }
  if (!summary.changes.empty()) active_changed(slot);
  if (!config_.publish_values) return;
  std::string p = "{" + device_fields(slot).substr(1) +
                  ",\"round\":" + std::to_string(summary.round) + ",\"time\":";
  append_json_string(p, now_text());
  p += ",\"values\":[";
  const DeviceView::Snapshot view = slot.view.snapshot();
  for (size_t i = 0; i < view.values.size(); ++i) {
    const PointValue& v = view.values[i];
    p += i ? ",{\"name\":" : "{\"name\":";
    append_json_string(p, v.name);
    p += ",\"desc\":";
    append_json_string(p, v.desc);
    p += ",\"value\":";
    append_json_float(p, v.value);
    p += v.in_alarm ? ",\"in_alarm\":true}" : ",\"in_alarm\":false}";
  }
  p += "]}";
  {
    std::lock_guard<std::mutex> g(lock_);
    if (!connected_) return;
    values_.emplace_back(device_topic(slot, "values"), std::move(p));
    if (values_.size() > max_values_waiting) {
      values_.pop_front();
      ++values_dropped_;
    }
  }
  wake_.notify_one();
}

void MqttBridge::communication(const DeviceSlot& slot, bool lost, const std::string& detail) {
  std::string fields;
  append_communication_change(fields, lost, detail);
  keep(slot, fields);
  active_changed(slot);
}

void MqttBridge::acknowledged(const DeviceSlot& slot, const ListedAlarm& a) {
  std::string fields = ",\"state\":\"acknowledged\"," + a.fields + ",\"by\":";
  append_json_string(fields, a.ack_by);
  fields += ",\"ack_time\":";
  append_json_string(fields, a.ack_time);
  keep(slot, fields);
  active_changed(slot);
}

void MqttBridge::device_state(const DeviceSlot& slot, HealthState state) {
  std::string p = "{" + device_fields(slot).substr(1) + ",\"state\":\"" + health_state_name(state) +
                  "\",\"time\":";
  append_json_string(p, now_text());
  p += '}';
  retain(device_topic(slot, "state"), std::move(p));
}

// Sends what is due while connected; the caller holds the lock, which is let
// go while the outbox is read and the library is handed messages.
void MqttBridge::send_pending(std::unique_lock<std::mutex>& g) {
  std::deque<int> acked;
  acked.swap(acked_);
  std::vector<long long> done;
  for (int mid : acked) {
    auto it = in_flight_.find(mid);
    if (it == in_flight_.end()) continue;
    done.push_back(it->second);
    in_flight_.erase(it);
  }
  std::vector<std::pair<std::string, std::string>> retained;
  for (const std::string& t : dirty_) retained.emplace_back(t, retained_[t]);
  dirty_.clear();
  std::deque<std::pair<std::string, std::string>> values;
  values.swap(values_);
  const size_t room = max_in_flight - std::min(max_in_flight, in_flight_.size());
  const long long after = sent_up_to_;
  const unsigned long connection = connection_;
  g.unlock();

  for (long long seq : done) {
    try {
      outbox_.remove(seq);
    } catch (const HistoryError&) {
      // Left in the outbox, it goes out again: a duplicate, never a loss.
    }
  }
  long sent = 0;
  for (const auto& [topic, payload] : retained)
    sent += client_->publish(topic, payload, 1, true) >= 0;
  long refused = 0;
  for (const auto& [topic, payload] : values) {
    const bool taken = client_->publish(topic, payload, 0, false) >= 0;
    sent += taken;
    refused += !taken;
  }
  std::vector<std::pair<int, long long>> handed;
  std::vector<OutboxRow> rows;
  try {
    if (room > 0) rows = outbox_.after(after, room);
  } catch (const HistoryError&) {
  }
  for (const OutboxRow& r : rows) {
    const int mid = client_->publish(r.topic, r.payload, 1, false);
    if (mid < 0) break;
    handed.emplace_back(mid, r.seq);
  }

  g.lock();
  published_ += sent + static_cast<long>(handed.size());
  values_dropped_ += refused;
  // Connected again meanwhile: the outbox goes out again from its start,
  // these rows with it (a duplicate, never a loss).
  if (connection_ != connection) handed.clear();
  for (const auto& [mid, seq] : handed) {
    in_flight_[mid] = seq;
    sent_up_to_ = std::max(sent_up_to_, seq);
  }
  if (dropping_reported_ && outbox_.size() < config_.outbox_limit / 2) dropping_reported_ = false;
}

void MqttBridge::send_loop() {
  std::unique_lock<std::mutex> g(lock_);
  while (!stopping_) {
    wake_.wait_for(g, std::chrono::milliseconds(200));
    if (connected_) send_pending(g);
  }
}

void MqttBridge::stop(std::chrono::milliseconds limit) {
  {
    std::lock_guard<std::mutex> g(lock_);
    if (stopping_) return;
  }
  // What is due goes out first, as far as the broker takes it in time; the
  // connection's own end has a second of the limit.
  const auto start = std::chrono::steady_clock::now();
  const auto until =
      start + std::max(limit - std::chrono::milliseconds(1000), std::chrono::milliseconds(0));
  while (std::chrono::steady_clock::now() < until) {
    {
      std::lock_guard<std::mutex> g(lock_);
      if (!connected_ || (in_flight_.empty() && dirty_.empty() && outbox_.size() == 0)) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  {
    std::lock_guard<std::mutex> g(lock_);
    stopping_ = true;
  }
  wake_.notify_one();
  if (sender_.joinable()) sender_.join();
  // A host that stops on purpose says so; only a dead one leaves it to the
  // Last Will.
  if (status().connected) client_->publish(config_.topic_prefix + "/status", "offline", 1, true);
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      start + limit - std::chrono::steady_clock::now());
  client_->stop(std::max(left, std::chrono::milliseconds(100)));
}

}  // namespace kplhost
