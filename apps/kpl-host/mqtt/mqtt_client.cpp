#include "apps/kpl-host/mqtt/mqtt_client.h"

#include <fcntl.h>
#include <mosquitto.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>

#include "apps/kpl-host/core/backoff.h"
#include "apps/kpl-host/mqtt/broker_liveness.h"

namespace kplhost {

namespace {

using Clock = std::chrono::steady_clock;

// An attempt whose broker has not answered by then is given up.
constexpr auto answer_limit = std::chrono::seconds(10);
// QoS 0 messages (each round's values) that may wait for a link that does
// not take them; more are refused and counted by the bridge.
constexpr size_t max_waiting_values = 100;

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

std::string seconds_text(Clock::duration d) {
  return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(d).count()) + " s";
}

}  // namespace

class MqttClient::Core {
 public:
  Core(const MqttConfig& config, Handlers handlers)
      : config(config),
        handlers(std::move(handlers)),
        liveness(std::chrono::seconds(config.keepalive_s)) {}
  ~Core() {
    if (mosq) mosquitto_destroy(mosq);
    for (int fd : {wake_read, wake_write})
      if (fd >= 0) ::close(fd);
  }

  void run();
  bool attempt(bool first);
  void give_up(const std::string& why);
  void wake() {
    const char byte = 1;
    if (wake_write >= 0) (void)!::write(wake_write, &byte, 1);
  }
  void finished() {
    {
      std::lock_guard<std::mutex> g(done_lock);
      done = true;
    }
    done_cv.notify_all();
  }

  static void on_connect(mosquitto*, void* self, int rc);
  static void on_disconnect(mosquitto*, void* self, int rc);
  static void on_publish(mosquitto*, void* self, int mid);

  const MqttConfig config;
  const Handlers handlers;
  mosquitto* mosq = nullptr;
  int wake_read = -1, wake_write = -1;
  std::atomic<bool> stopping{false};
  // The network thread's own.
  bool attempting = false;
  bool up = false;
  bool answered = false;
  Clock::time_point attempt_started{};
  std::string giving_up;
  BrokerLiveness liveness;
  Backoff retry{std::chrono::seconds(1), std::chrono::seconds(30)};
  Clock::time_point next_attempt{};
  // QoS 0 messages handed to the library and not yet written to the socket.
  std::mutex waiting_lock;
  std::set<int> waiting;
  std::mutex done_lock;
  std::condition_variable done_cv;
  bool done = false;
};

MqttClient::MqttClient(const MqttConfig& config, const std::string& will_topic,
                       const std::string& will_payload, Handlers handlers)
    : core_(std::make_shared<Core>(config, std::move(handlers))) {
  init_library();
  Core& c = *core_;
  // A clean session: what the broker must not lose is kept in the outbox
  // and sent again after every reconnect.
  c.mosq = mosquitto_new(config.client_id.c_str(), true, &c);
  if (!c.mosq) throw MqttError("mqtt: cannot make a client");
  mosquitto_int_option(c.mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
  // Messages are handed over from other threads; only the network thread
  // reads and writes the socket.
  mosquitto_threaded_set(c.mosq, true);
  check(mosquitto_will_set(c.mosq, will_topic.c_str(), static_cast<int>(will_payload.size()),
                           will_payload.data(), 1, true),
        "the Last Will");
  if (config.username)
    check(mosquitto_username_pw_set(c.mosq, config.username->c_str(),
                                    config.password ? config.password->c_str() : nullptr),
          "the credentials");
  if (config.tls) {
    check_readable(config.ca_file, "ca_file");
    check_readable(config.cert_file, "cert_file");
    check_readable(config.key_file, "key_file");
    check(mosquitto_tls_set(c.mosq, config.ca_file.c_str(), nullptr,
                            config.cert_file.empty() ? nullptr : config.cert_file.c_str(),
                            config.key_file.empty() ? nullptr : config.key_file.c_str(), nullptr),
          "the TLS files");
  }
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
    throw MqttError(std::string("mqtt: cannot make a pipe: ") + std::strerror(errno));
  c.wake_read = fds[0];
  c.wake_write = fds[1];
  mosquitto_connect_callback_set(c.mosq, &Core::on_connect);
  mosquitto_disconnect_callback_set(c.mosq, &Core::on_disconnect);
  mosquitto_publish_callback_set(c.mosq, &Core::on_publish);
}

MqttClient::~MqttClient() { stop(std::chrono::seconds(1)); }

std::unique_ptr<MqttConnection> MqttClient::make(const MqttConfig& config,
                                                 const std::string& will_topic,
                                                 const std::string& will_payload,
                                                 Handlers handlers) {
  return std::make_unique<MqttClient>(config, will_topic, will_payload, std::move(handlers));
}

void MqttClient::start(ThreadGuard& threads) {
  if (thread_.joinable()) return;
  // A thread that a stop leaves to end by itself has only its name lookup
  // left to do, and nothing after it that throws.
  thread_ = std::thread([core = core_, &threads] {
    threads.run("MQTT network", [&core] { core->run(); });
    core->finished();
  });
}

int MqttClient::publish(const std::string& topic, const std::string& payload, int qos,
                        bool retain) {
  Core& c = *core_;
  if (qos == 0) {
    std::lock_guard<std::mutex> g(c.waiting_lock);
    if (c.waiting.size() >= max_waiting_values) return -1;
  }
  int mid = -1;
  const int rc = mosquitto_publish(c.mosq, &mid, topic.c_str(), static_cast<int>(payload.size()),
                                   payload.data(), qos, retain);
  if (rc != MOSQ_ERR_SUCCESS) return -1;
  if (qos == 0) {
    std::lock_guard<std::mutex> g(c.waiting_lock);
    c.waiting.insert(mid);
  }
  c.wake();
  return mid;
}

void MqttClient::stop(std::chrono::milliseconds limit) {
  if (core_->stopping.exchange(true)) return;
  core_->wake();
  if (!thread_.joinable()) return;
  bool ended;
  {
    std::unique_lock<std::mutex> g(core_->done_lock);
    ended = core_->done_cv.wait_for(g, limit, [&] { return core_->done; });
  }
  // A thread still in a call that waits on the network (a name lookup) is
  // left to end by itself; it holds what it uses.
  if (ended)
    thread_.join();
  else
    thread_.detach();
}

bool MqttClient::Core::attempt(bool first) {
  attempt_started = Clock::now();
  answered = false;
  giving_up.clear();
  const int rc =
      first ? mosquitto_connect_async(mosq, config.host.c_str(), config.port, config.keepalive_s)
            : mosquitto_reconnect_async(mosq);
  // A name lookup may have taken a while: a stop meanwhile ends it here.
  if (stopping) return false;
  if (rc == MOSQ_ERR_SUCCESS) {
    attempting = true;
    liveness.heard(attempt_started);
    return true;
  }
  const std::string reason = reason_text(rc);
  if (handlers.unreachable) handlers.unreachable(reason);
  return false;
}

// The socket is shut down: whatever the network does, the next read ends the
// connection, and the library says so through on_disconnect.
void MqttClient::Core::give_up(const std::string& why) {
  giving_up = why;
  const int sock = mosquitto_socket(mosq);
  if (sock >= 0) ::shutdown(sock, SHUT_RDWR);
}

void MqttClient::Core::run() {
  bool first = true;
  next_attempt = Clock::now();
  while (!stopping) {
    auto now = Clock::now();
    if (mosquitto_socket(mosq) < 0 && now >= next_attempt) {
      if (!attempt(first)) {
        if (stopping) break;
        // Made again with the back-off; an attempt that failed at once still
        // stored the broker's address for the next.
        next_attempt = Clock::now() + retry.next();
      }
      first = false;
    }
    const int sock = mosquitto_socket(mosq);
    pollfd fds[2] = {{wake_read, POLLIN, 0}, {sock, POLLIN, 0}};
    if (sock >= 0 && mosquitto_want_write(mosq)) fds[1].events |= POLLOUT;
    ::poll(fds, sock >= 0 ? 2 : 1, 100);
    if (fds[0].revents & POLLIN) {
      char drain[64];
      while (::read(wake_read, drain, sizeof drain) > 0) {
      }
    }
    if (stopping) break;
    now = Clock::now();
    if (sock >= 0) {
      if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
        liveness.heard(now);
        mosquitto_loop_read(mosq, 1);
      }
      if (mosquitto_socket(mosq) >= 0 && (fds[1].revents & POLLOUT || mosquitto_want_write(mosq)))
        mosquitto_loop_write(mosq, 1);
      if (mosquitto_socket(mosq) >= 0) mosquitto_loop_misc(mosq);
    }
    if (mosquitto_socket(mosq) >= 0 && giving_up.empty()) {
      if (!answered && now - attempt_started > answer_limit)
        give_up("no answer within " + seconds_text(answer_limit));
      else if (up && liveness.dead(now))
        give_up("no word from the broker for " + seconds_text(liveness.silence_limit()) +
                " (keep-alive " + std::to_string(config.keepalive_s) + " s)");
    }
  }
  // A host that stops on purpose says goodbye, as far as the link takes it
  // at once: the DISCONNECT tells the broker not to publish the Last Will.
  if (up && mosquitto_socket(mosq) >= 0) {
    mosquitto_disconnect(mosq);
    if (mosquitto_socket(mosq) >= 0) mosquitto_loop_write(mosq, 1);
  }
}

void MqttClient::Core::on_connect(mosquitto*, void* self, int rc) {
  auto* c = static_cast<Core*>(self);
  c->answered = true;
  if (rc == 0) {
    c->up = true;
    c->retry.reset();
  }
  // "Connection Refused: not authorised." reads "not authorised".
  std::string reason = mosquitto_connack_string(rc);
  const std::string prefix = "Connection Refused: ";
  if (reason.rfind(prefix, 0) == 0) reason.erase(0, prefix.size());
  if (!reason.empty() && reason.back() == '.') reason.pop_back();
  if (c->handlers.connected && !c->stopping) c->handlers.connected(rc, reason);
}

void MqttClient::Core::on_disconnect(mosquitto*, void* self, int rc) {
  auto* c = static_cast<Core*>(self);
  const bool was_up = c->up;
  const int err = errno;
  c->up = false;
  c->attempting = false;
  {
    std::lock_guard<std::mutex> g(c->waiting_lock);
    c->waiting.clear();
  }
  c->next_attempt = c->attempt_started + c->retry.next();
  if (c->stopping) return;
  if (was_up) {
    if (c->handlers.disconnected) c->handlers.disconnected(c->giving_up);
    return;
  }
  // Refused by the broker: said when it answered.
  if (c->answered || !c->handlers.unreachable) return;
  // A connection that ends before the broker answered is one that failed;
  // the library's code for it says little ("Unknown error" for a silence).
  std::string why = c->giving_up;
  if (why.empty())
    why = rc == MOSQ_ERR_ERRNO && err != 0 ? std::strerror(err)
                                           : "the connection ended before the broker answered";
  c->handlers.unreachable(why);
}

void MqttClient::Core::on_publish(mosquitto*, void* self, int mid) {
  auto* c = static_cast<Core*>(self);
  {
    std::lock_guard<std::mutex> g(c->waiting_lock);
    // A QoS 0 message has left: no acknowledgement follows.
    if (c->waiting.erase(mid) > 0) return;
  }
  if (c->handlers.acknowledged) c->handlers.acknowledged(mid);
}

}  // namespace kplhost
