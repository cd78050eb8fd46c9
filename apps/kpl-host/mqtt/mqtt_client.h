// One connection to an MQTT broker through libmosquitto, whose own thread
// runs the network and reconnects with backoff (1 s doubling to 30 s); the
// host's I/O thread never waits for it. The Last Will, TLS and credentials
// are set before the first connection.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "apps/kpl-host/core/mqtt_config.h"
#include "apps/kpl-host/mqtt/mqtt_connection.h"

struct mosquitto;

namespace kplhost {

class MqttClient final : public MqttConnection {
 public:
  // Throws MqttError for settings the library refuses (a TLS file it cannot
  // read, among others).
  MqttClient(const MqttConfig& config, const std::string& will_topic,
             const std::string& will_payload, Handlers handlers);
  ~MqttClient() override;
  MqttClient(const MqttClient&) = delete;
  MqttClient& operator=(const MqttClient&) = delete;
  // As MqttConnection::Make.
  static std::unique_ptr<MqttConnection> make(const MqttConfig& config,
                                              const std::string& will_topic,
                                              const std::string& will_payload, Handlers handlers);

  void start() override;
  void try_again() override;
  bool answered() const override { return answered_; }
  int publish(const std::string& topic, const std::string& payload, int qos, bool retain) override;
  void stop() override;

 private:
  static void on_connect(mosquitto*, void* self, int rc);
  static void on_disconnect(mosquitto*, void* self, int rc);
  static void on_publish(mosquitto*, void* self, int mid);
  void attempted(int rc);

  MqttConfig config_;
  Handlers handlers_;
  mosquitto* mosq_ = nullptr;
  // Guards the attempts, the start of the network thread and the stop.
  std::mutex attempt_lock_;
  bool running_ = false;
  bool network_thread_ = false;
  std::atomic<bool> answered_{false};
};

}  // namespace kplhost
