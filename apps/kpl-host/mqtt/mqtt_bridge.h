// The host's northbound side: alarms and state over MQTT to a broker.
//
//   <prefix>/status                     retained "online"; the Last Will
//                                       sets it to "offline"
//   <prefix>/devices/<n>/state          retained: the device's health state
//   <prefix>/devices/<n>/alarms         QoS 1: one message per alarm change
//                                       (raised, cleared, acknowledged), each
//                                       with the host's sequence number
//   <prefix>/devices/<n>/active         retained: the alarms now active
//   <prefix>/devices/<n>/values         QoS 0: each round's analogue values
//
// Alarm changes go through the durable outbox, written before the change is
// told to anyone else and removed when the broker acknowledges it; after a
// reconnect, or a restart of the host, whatever the broker has not
// acknowledged goes out again, in order (so a subscriber may see a change
// twice, and discards a sequence number it has seen). The rest is state of
// the moment: sent when connected, and the retained topics sent again on
// every connect.
#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "apps/kpl-host/core/device_slot.h"
#include "apps/kpl-host/core/host_events.h"
#include "apps/kpl-host/core/mqtt_config.h"
#include "apps/kpl-host/core/outputs_status.h"
#include "apps/kpl-host/core/thread_guard.h"
#include "apps/kpl-host/mqtt/mqtt_connection.h"
#include "apps/kpl-host/storage/mqtt_outbox.h"

namespace kplhost {

class MqttBridge final : public HostEvents {
 public:
  // db_path: the database that holds the outbox (the history's). others:
  // where the bridge tells of its own connection and losses. threads: where
  // its sender thread, and its handlers on the connection's network thread,
  // say that they failed. connect: makes the broker connection
  // (MqttClient::make). Throws MqttError or HistoryError.
  MqttBridge(const MqttConfig& config, const std::string& db_path, HostEvents& others,
             ThreadGuard& threads, const MqttConnection::Make& connect);
  ~MqttBridge() override;

  void start();
  // Says "offline" on the status topic, sends what it can for up to `limit`,
  // and disconnects.
  void stop(std::chrono::milliseconds limit);
  // Never waits for the disk: read on the I/O thread.
  MqttStatus status() const;

  // Told on the worker thread.
  void round(const DeviceSlot&, const RoundSummary& summary) override;
  void communication(const DeviceSlot&, bool lost, const std::string& detail) override;
  void device_state(const DeviceSlot&, HealthState state) override;
  // An acknowledged change on the alarms topic, with who and when, and the
  // active set again.
  void acknowledged(const DeviceSlot&, const ListedAlarm& alarm) override;

 private:
  std::string device_topic(const DeviceSlot& slot, const char* leaf) const;
  // Writes an alarm change to the outbox, with the next sequence number.
  void keep(const DeviceSlot& slot, const std::string& fields);
  void retain(const std::string& topic, std::string payload);
  void active_changed(const DeviceSlot& slot);
  void send_loop();
  void send_pending(std::unique_lock<std::mutex>& g);

  const MqttConfig config_;
  HostEvents& others_;
  ThreadGuard& threads_;
  MqttOutbox outbox_;
  std::unique_ptr<MqttConnection> client_;

  mutable std::mutex lock_;
  std::condition_variable wake_;
  bool connected_ = false;
  bool just_connected_ = false;
  // Why the broker could not be reached, as last said; empty once connected.
  std::string unreachable_;
  bool stopping_ = false;
  // Retained topics and their latest payload, all sent again on connect;
  // those changed since they were last sent.
  std::map<std::string, std::string> retained_;
  std::set<std::string> dirty_;
  // Each round's values, sent only while connected.
  std::deque<std::pair<std::string, std::string>> values_;
  // Outbox rows handed to the library, by message id; acknowledgements in.
  std::map<int, long long> in_flight_;
  long long sent_up_to_ = 0;
  // Counts the connections made: rows handed to the library over one that
  // has since been replaced are not in flight on the new one.
  unsigned long connection_ = 0;
  std::deque<int> acked_;
  long dropped_ = 0;
  long published_ = 0;
  // Values not sent: more waited than the bridge or the connection keeps.
  long values_dropped_ = 0;
  bool dropping_reported_ = false;
  std::thread sender_;
};

}  // namespace kplhost
