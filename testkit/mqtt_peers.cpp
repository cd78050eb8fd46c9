#include "testkit/mqtt_peers.h"

#include <mosquitto.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "testkit/free_port.h"

namespace {

void run(const std::string& command) {
  if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
    throw std::runtime_error("failed: " + command);
}

}  // namespace

MqttBroker::MqttBroker(const std::string& dir, Settings settings)
    : dir_(dir), settings_(std::move(settings)), port_(free_port()) {
  if (settings_.tls) {
    tls_port_ = free_port();
    make_certificates();
  }
  if (!settings_.users.empty()) {
    std::ofstream(dir_ + "/passwords");
    for (const auto& [user, password] : settings_.users)
      run("mosquitto_passwd -b '" + dir_ + "/passwords' '" + user + "' '" + password + "'");
  }
  write_config();
}

MqttBroker::~MqttBroker() { stop(); }

void MqttBroker::make_certificates() {
  const std::string d = "'" + dir_ + "/";
  std::ofstream(dir_ + "/san.ext") << "subjectAltName=IP:127.0.0.1\n";
  run("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=kpl-test-ca -keyout " + d +
      "ca.key' -out " + d + "ca.pem'");
  run("openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout " + d + "server.key' -out " +
      d + "server.csr'");
  run("openssl x509 -req -days 2 -in " + d + "server.csr' -CA " + d + "ca.pem' -CAkey " + d +
      "ca.key' -CAcreateserial -extfile " + d + "san.ext' -out " + d + "server.pem'");
}

void MqttBroker::write_config() {
  std::ofstream c(dir_ + "/mosquitto.conf");
  // Started by root, the broker would become another user that cannot read
  // the test's own folder.
  const passwd* me = ::getpwuid(::geteuid());
  if (me) c << "user " << me->pw_name << "\n";
  c << "per_listener_settings false\n";
  c << "allow_anonymous " << (settings_.users.empty() ? "true" : "false") << "\n";
  if (!settings_.users.empty()) c << "password_file " << dir_ << "/passwords\n";
  if (settings_.persistent)
    c << "persistence true\npersistence_location " << dir_ << "/\n";
  else
    c << "persistence false\n";
  c << "listener " << port_ << " 127.0.0.1\n";
  if (settings_.tls)
    c << "listener " << tls_port_ << " 127.0.0.1\ncafile " << dir_ << "/ca.pem\ncertfile " << dir_
      << "/server.pem\nkeyfile " << dir_ << "/server.key\n";
}

void MqttBroker::start() {
  process_ = std::make_unique<Process>("mosquitto",
                                       std::vector<std::string>{"-c", dir_ + "/mosquitto.conf"},
                                       ProcessOutput::files_in(dir_, "mosquitto"));
  // Listening once a client can connect.
  eventually(
      [&] {
        mosquitto* m = mosquitto_new(nullptr, true, nullptr);
        const bool up = mosquitto_connect(m, "127.0.0.1", port_, 5) == MOSQ_ERR_SUCCESS;
        mosquitto_destroy(m);
        return up;
      },
      std::chrono::seconds(10));
}

void MqttBroker::stop() {
  if (process_) process_->stop(std::chrono::seconds(5));
  process_.reset();
}

MqttSubscriber::MqttSubscriber(unsigned short port, const std::string& topic,
                               const std::string& client_id, bool clean)
    : topic_(topic) {
  mosquitto_lib_init();
  mosq_ = mosquitto_new(client_id.empty() ? nullptr : client_id.c_str(), clean, this);
  mosquitto_connect_callback_set(mosq_, &MqttSubscriber::on_connect);
  mosquitto_message_callback_set(mosq_, &MqttSubscriber::on_message);
  mosquitto_reconnect_delay_set(mosq_, 1, 1, false);
  mosquitto_connect_async(mosq_, "127.0.0.1", port, 5);
  mosquitto_loop_start(mosq_);
}

MqttSubscriber::~MqttSubscriber() {
  mosquitto_disconnect(mosq_);
  mosquitto_loop_stop(mosq_, false);
  mosquitto_destroy(mosq_);
}

void MqttSubscriber::on_connect(mosquitto* m, void* self, int rc) {
  if (rc == 0)
    mosquitto_subscribe(m, nullptr, static_cast<MqttSubscriber*>(self)->topic_.c_str(), 1);
}

void MqttSubscriber::on_message(mosquitto*, void* self, const mosquitto_message* m) {
  auto* s = static_cast<MqttSubscriber*>(self);
  std::lock_guard<std::mutex> g(s->lock_);
  s->messages_.push_back(
      {m->topic,
       std::string(static_cast<const char*>(m->payload), static_cast<size_t>(m->payloadlen)),
       m->retain, std::chrono::system_clock::now()});
}

std::vector<MqttSubscriber::Message> MqttSubscriber::messages() const {
  std::lock_guard<std::mutex> g(lock_);
  return messages_;
}

std::vector<MqttSubscriber::Message> MqttSubscriber::on(const std::string& topic) const {
  std::vector<Message> out;
  for (Message& m : messages())
    if (m.topic == topic) out.push_back(std::move(m));
  return out;
}

bool MqttSubscriber::wait_for(const std::function<bool(const std::vector<Message>&)>& cond,
                              std::chrono::milliseconds limit) const {
  return eventually([&] { return cond(messages()); }, limit);
}
