// The broker connection as the bridge uses it: messages handed over, and
// what the connection tells back on its own network thread. MqttClient is
// the one over libmosquitto; the bridge's tests put a fake of their own here.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "apps/kpl-host/core/mqtt_config.h"

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
    std::function<void()> disconnected;
    // An attempt to connect failed before the broker answered it, for the
    // reason given ("Connection refused", "Lookup error.").
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

  // Both report an attempt that fails at once through `unreachable`.
  virtual void start() = 0;
  // An attempt that fails at once (refused, no such host) is not made again
  // by itself: its owner calls this, with a backoff, until answered() says
  // it need not. It does nothing once an attempt is on its way.
  virtual void try_again() = 0;
  virtual bool answered() const = 0;
  // The message id, or -1 when the message was not taken.
  virtual int publish(const std::string& topic, const std::string& payload, int qos,
                      bool retain) = 0;
  // Disconnects cleanly (no Last Will) and ends the network thread.
  virtual void stop() = 0;
};

}  // namespace kplhost
