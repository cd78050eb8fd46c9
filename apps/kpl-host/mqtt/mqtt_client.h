// One connection to an MQTT broker through libmosquitto, whose own thread
// runs the network and reconnects with backoff (1 s doubling to 30 s); the
// host's I/O thread never waits for it. The Last Will, TLS and credentials
// are set before the first connection.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>

#include "apps/kpl-host/core/mqtt_config.h"

struct mosquitto;

namespace kplhost {

class MqttError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class MqttClient {
 public:
  struct Handlers {
    // rc 0: connected; otherwise the broker refused, for the reason given.
    std::function<void(int rc, const std::string& reason)> connected;
    std::function<void()> disconnected;
    // An attempt to connect failed before the broker answered it, for the
    // reason given ("Connection refused", "Lookup error.").
    std::function<void(const std::string& reason)> unreachable;
    // A QoS 1 message was acknowledged by the broker.
    std::function<void(int mid)> acknowledged;
  };

  // Throws MqttError for settings the library refuses (a TLS file it cannot
  // read, among others).
  MqttClient(const MqttConfig& config, const std::string& will_topic,
             const std::string& will_payload, Handlers handlers);
  ~MqttClient();
  MqttClient(const MqttClient&) = delete;
  MqttClient& operator=(const MqttClient&) = delete;

  // Both report an attempt that fails at once through `unreachable`.
  void start();
  // An attempt that fails at once (refused, no such host) is not made again
  // by the library: its owner calls this, with a backoff, until answered()
  // says it need not. It does nothing once an attempt is on its way.
  void try_again();
  bool answered() const { return answered_; }
  // The message id, or -1 when the library did not take the message.
  int publish(const std::string& topic, const std::string& payload, int qos, bool retain);
  // Disconnects cleanly (no Last Will) and ends the network thread.
  void stop();

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
