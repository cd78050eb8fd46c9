#include "apps/kpl-host/mqtt/mqtt_client.h"

#include <mosquitto.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace kplhost {

namespace {

void init_library() {
  static std::once_flag once;
  std::call_once(once, [] { mosquitto_lib_init(); });
}

void check(int rc, const std::string& what) {
  if (rc != MOSQ_ERR_SUCCESS) throw MqttError("mqtt: " + what + ": " + mosquitto_strerror(rc));
}

// The library says no more than "invalid arguments" of a file it cannot
// read: the key, the file and the reason are said here first.
void check_readable(const std::string& file, const char* key) {
  if (file.empty()) return;
  std::FILE* f = std::fopen(file.c_str(), "r");
  if (!f)
    throw MqttError(std::string("mqtt.tls.") + key + ": cannot read " + file + ": " +
                    std::strerror(errno));
  std::fclose(f);
}

// The library's text for rc, without its closing full stop. For
// MOSQ_ERR_ERRNO the text is errno's, so this is called before anything else.
std::string reason_text(int rc) {
  std::string text = mosquitto_strerror(rc);
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

}  // namespace

MqttClient::MqttClient(const MqttConfig& config, const std::string& will_topic,
                       const std::string& will_payload, Handlers handlers)
    : config_(config), handlers_(std::move(handlers)) {
  init_library();
  // A clean session: what the broker must not lose is kept in the outbox
  // and sent again after every reconnect.
  mosq_ = mosquitto_new(config_.client_id.c_str(), true, this);
  if (!mosq_) throw MqttError("mqtt: cannot make a client");
  try {
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    check(mosquitto_will_set(mosq_, will_topic.c_str(), static_cast<int>(will_payload.size()),
                             will_payload.data(), 1, true),
          "the Last Will");
    if (config_.username)
      check(mosquitto_username_pw_set(mosq_, config_.username->c_str(),
                                      config_.password ? config_.password->c_str() : nullptr),
            "the credentials");
    if (config_.tls) {
      check_readable(config_.ca_file, "ca_file");
      check_readable(config_.cert_file, "cert_file");
      check_readable(config_.key_file, "key_file");
      check(
          mosquitto_tls_set(mosq_, config_.ca_file.c_str(), nullptr,
                            config_.cert_file.empty() ? nullptr : config_.cert_file.c_str(),
                            config_.key_file.empty() ? nullptr : config_.key_file.c_str(), nullptr),
          "the TLS files");
    }
    check(mosquitto_reconnect_delay_set(mosq_, 1, 30, true), "the reconnect delay");
  } catch (...) {
    mosquitto_destroy(mosq_);
    throw;
  }
  mosquitto_connect_callback_set(mosq_, &MqttClient::on_connect);
  mosquitto_disconnect_callback_set(mosq_, &MqttClient::on_disconnect);
  mosquitto_publish_callback_set(mosq_, &MqttClient::on_publish);
}

MqttClient::~MqttClient() {
  stop();
  mosquitto_destroy(mosq_);
}

void MqttClient::start() {
  std::lock_guard<std::mutex> g(attempt_lock_);
  running_ = true;
  attempted(
      mosquitto_connect_async(mosq_, config_.host.c_str(), config_.port, config_.keepalive_s));
}

void MqttClient::try_again() {
  std::lock_guard<std::mutex> g(attempt_lock_);
  if (running_ && !network_thread_) attempted(mosquitto_reconnect_async(mosq_));
}

// An attempt that failed at once is made again by the owner. One on its way
// is the network thread's from then on: it completes it, and makes the
// connection again, with the backoff, whenever it fails or is lost. Until
// then no thread of the library's runs, so no attempt of ours ever overlaps
// one of its own.
void MqttClient::attempted(int rc) {
  if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_loop_start(mosq_);
  if (rc == MOSQ_ERR_SUCCESS) {
    network_thread_ = true;
  } else if (handlers_.unreachable) {
    handlers_.unreachable(reason_text(rc));
  }
}

int MqttClient::publish(const std::string& topic, const std::string& payload, int qos,
                        bool retain) {
  int mid = -1;
  const int rc = mosquitto_publish(mosq_, &mid, topic.c_str(), static_cast<int>(payload.size()),
                                   payload.data(), qos, retain);
  return rc == MOSQ_ERR_SUCCESS ? mid : -1;
}

void MqttClient::stop() {
  std::lock_guard<std::mutex> g(attempt_lock_);
  if (!running_) return;
  running_ = false;
  // Not forced: a network thread cancelled in the middle may hold one of
  // the library's locks. The disconnect wakes it, and it ends by itself.
  mosquitto_disconnect(mosq_);
  if (network_thread_) mosquitto_loop_stop(mosq_, false);
  network_thread_ = false;
}

void MqttClient::on_connect(mosquitto*, void* self, int rc) {
  auto* c = static_cast<MqttClient*>(self);
  c->answered_ = true;
  // "Connection Refused: not authorised." reads "not authorised".
  std::string reason = mosquitto_connack_string(rc);
  const std::string prefix = "Connection Refused: ";
  if (reason.rfind(prefix, 0) == 0) reason.erase(0, prefix.size());
  if (!reason.empty() && reason.back() == '.') reason.pop_back();
  if (c->handlers_.connected) c->handlers_.connected(rc, reason);
}

void MqttClient::on_disconnect(mosquitto*, void* self, int rc) {
  auto* c = static_cast<MqttClient*>(self);
  // A connection that ends before the broker answered is one that failed;
  // the library's code for it says little ("Unknown error" for a silence).
  if (!c->answered_ && rc != 0 && c->handlers_.unreachable) {
    c->handlers_.unreachable("the connection ended before the broker answered");
    return;
  }
  if (c->handlers_.disconnected) c->handlers_.disconnected();
}

void MqttClient::on_publish(mosquitto*, void* self, int mid) {
  auto* c = static_cast<MqttClient*>(self);
  if (c->handlers_.acknowledged) c->handlers_.acknowledged(mid);
}

}  // namespace kplhost
