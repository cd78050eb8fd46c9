// The broker connection as the bridge uses it: messages handed over, and
// what the connection tells back on its own network thread. MqttClient is
// the one over libmosquitto; the bridge's tests put a fake of their own here.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "apps/kpl-host/core/mqtt_config.h"
#include "apps/kpl-host/core/thread_guard.h"

namespace kplhost {

class MqttError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class MqttConnection {
 public:
  struct Handlers {
    // rc 0: connected; otherwise the broker refused, for the reason given.
    std::function<void(int rc, const std::string& reason)> connected;
    // A connection that was up is gone; the reason is empty when the broker
    // or the network ended it, and says so when the host gave up on a
    // broker that stopped answering.
    std::function<void(const std::string& reason)> disconnected;
    // An attempt to connect failed before the broker answered it, for the
    // reason given ("Connection refused", "Lookup error").
    std::function<void(const std::string& reason)> unreachable;
    // A QoS 1 message was acknowledged by the broker.
    std::function<void(int mid)> acknowledged;
  };
  // Makes a connection to the broker of config, with the Last Will given;
  // throws MqttError for settings it cannot use.
  using Make = std::function<std::unique_ptr<MqttConnection>(
      const MqttConfig& config, const std::string& will_topic, const std::string& will_payload,
      Handlers handlers)>;

  virtual ~MqttConnection() = default;

  // Connects, and connects again whenever the connection fails or is lost,
  // with a back-off, until stop(). The network thread runs under `threads`.
  virtual void start(ThreadGuard& threads) = 0;
  // The message id, or -1 when the message was not taken: no connection, or
  // (QoS 0) too many messages already waiting for a link that does not
  // take them.
  virtual int publish(const std::string& topic, const std::string& payload, int qos,
                      bool retain) = 0;
  // Disconnects cleanly (no Last Will) as far as the link allows, and ends
  // the network thread; returns within `limit` whatever the network does.
  virtual void stop(std::chrono::milliseconds limit) = 0;
};

}  // namespace kplhost
