// A real MQTT broker (the machine's mosquitto, never its system service)
// started by a test on loopback with a configuration of its own, and a
// subscriber on it (libmosquitto) that keeps every message it receives.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "testkit/process.h"

struct mosquitto;

class MqttBroker {
 public:
  struct Settings {
    // Keeps sessions and their queued messages across a restart.
    bool persistent = false;
    // user:password pairs; with any, anonymous clients are refused.
    std::vector<std::pair<std::string, std::string>> users;
    // A second, TLS listener with a CA and server certificate made here.
    bool tls = false;
  };
  MqttBroker(const std::string& dir, Settings settings);
  ~MqttBroker();

  unsigned short port() const { return port_; }
  unsigned short tls_port() const { return tls_port_; }
  // The CA that signed the broker's certificate.
  std::string ca_file() const { return dir_ + "/ca.pem"; }
  // Starts the broker, and waits until it listens; stops it (SIGTERM, so a
  // persistent one saves its sessions).
  void start();
  void stop();
  pid_t pid() const { return process_ ? process_->pid() : -1; }

 private:
  void write_config();
  void make_certificates();

  std::string dir_;
  Settings settings_;
  unsigned short port_, tls_port_ = 0;
  std::unique_ptr<Process> process_;
};

class MqttSubscriber {
 public:
  struct Message {
    std::string topic;
    std::string payload;
    bool retained;
    std::chrono::system_clock::time_point received;
  };
  // Subscribes to topic (QoS 1) on every connection, reconnecting quickly;
  // with a client id and clean false, its session outlives a disconnection.
  MqttSubscriber(unsigned short port, const std::string& topic, const std::string& client_id = "",
                 bool clean = true);
  ~MqttSubscriber();

  std::vector<Message> messages() const;
  std::vector<Message> on(const std::string& topic) const;
  bool wait_for(const std::function<bool(const std::vector<Message>&)>& cond,
                std::chrono::milliseconds limit) const;

 private:
  static void on_connect(mosquitto*, void* self, int rc);
  static void on_message(mosquitto*, void* self, const struct mosquitto_message* m);

  std::string topic_;
  mosquitto* mosq_ = nullptr;
  mutable std::mutex lock_;
  std::vector<Message> messages_;
};
