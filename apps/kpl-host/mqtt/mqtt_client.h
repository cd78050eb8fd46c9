// One connection to an MQTT broker through libmosquitto, run by a network
// thread of the host's own: the socket is polled here and handed to the
// library to read and write, so that no call ever waits on the network.
// Connection attempts are the library's asynchronous ones, made again with a
// back-off (1 s doubling to 30 s) whenever one fails or the connection is
// lost; an attempt the broker does not answer within 10 s, and a connection
// the broker has been silent on for 1.5 keep-alive periods, are given up.
// The Last Will, TLS and credentials are set before the first connection.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "apps/kpl-host/core/mqtt_config.h"
#include "apps/kpl-host/mqtt/mqtt_connection.h"

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

  void start(ThreadGuard& threads) override;
  int publish(const std::string& topic, const std::string& payload, int qos, bool retain) override;
  void stop(std::chrono::milliseconds limit) override;

 private:
  // What the network thread works with. It is shared with that thread, so
  // that a thread which does not end in time (a name lookup that hangs) can
  // be left to end by itself: it then frees what it used on its own.
  class Core;
  std::shared_ptr<Core> core_;
  std::thread thread_;
};

}  // namespace kplhost
