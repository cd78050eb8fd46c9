#include "apps/kpl-host/view/login.h"

#include <crypt.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <memory>
#include <stdexcept>

#include "apps/kpl-host/view/basic_credentials.h"

namespace kplhost {

namespace {

// Checks that may wait for the thread; past them a request is told to come
// back later rather than queue without end.
constexpr size_t max_waiting = 16;
// Right passwords remembered; past this the memory starts again.
constexpr size_t max_known_right = 256;
// Checked for a user nobody configured, so that an unknown name takes as
// long as a known one with a wrong password.
constexpr const char* no_user_hash = "$2b$10$mCAB7EY79BhIDr.wPKdHF.H1/Wn6UvPEwr9a1.suBygdfIqPNoXOW";

std::string hex(const unsigned char* data, unsigned int n) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned int i = 0; i < n; ++i) {
    out += digits[data[i] >> 4];
    out += digits[data[i] & 15];
  }
  return out;
}

std::string keyed_hash(const std::string& key, const std::string& text) {
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
       reinterpret_cast<const unsigned char*>(text.data()), text.size(), mac, &n);
  return hex(mac, n);
}

bool same(const std::string& a, const std::string& b) {
  return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

Login::Login(boost::asio::io_context& io, std::map<std::string, std::string> users,
             ThreadGuard& threads, std::chrono::milliseconds wrong_delay)
    : io_(io), users_(std::move(users)), wrong_delay_(wrong_delay) {
  unsigned char key[32];
  if (RAND_bytes(key, sizeof key) != 1)
    throw std::runtime_error("no random bytes for the login's keys");
  secret_.assign(reinterpret_cast<const char*>(key), sizeof key);
  thread_ = threads.start("password check", [this] { run(); });
}

Login::~Login() {
  {
    std::lock_guard<std::mutex> g(lock_);
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

std::string Login::fingerprint(const std::string& user, const std::string& password) const {
  return keyed_hash(secret_, user + '\0' + password);
}

std::string Login::form_token(const std::string& user) const {
  return keyed_hash(secret_, "form\n" + user);
}

bool Login::form_token_matches(const std::string& user, const std::string& token) const {
  return same(form_token(user), token);
}

void Login::check(const std::string& authorization, Done done) {
  const auto credentials = basic_credentials(authorization);
  if (!credentials) return done(Verdict::missing, {});
  const auto& [user, password] = *credentials;
  {
    std::lock_guard<std::mutex> g(lock_);
    if (known_right_.count(fingerprint(user, password))) return done(Verdict::user, user);
    if (jobs_.size() >= max_waiting) return done(Verdict::busy, {});
    jobs_.push_back({user, password, std::move(done)});
  }
  wake_.notify_one();
}

void Login::run() {
  // crypt_r's work area is large; one for the thread's life.
  auto area = std::make_unique<crypt_data>();
  std::unique_lock<std::mutex> g(lock_);
  for (;;) {
    wake_.wait(g, [this] { return stopping_ || !jobs_.empty(); });
    if (stopping_) return;
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    g.unlock();
    const auto it = users_.find(job.user);
    const std::string& hash = it == users_.end() ? no_user_hash : it->second;
    *area = crypt_data{};
    const char* made = crypt_r(job.password.c_str(), hash.c_str(), area.get());
    const bool right = it != users_.end() && made && same(made, hash);
    const std::string print = right ? fingerprint(job.user, job.password) : std::string();
    job.password.assign(job.password.size(), '\0');
    g.lock();
    if (right) {
      if (known_right_.size() >= max_known_right) known_right_.clear();
      known_right_.insert(print);
    } else {
      ++failures_;
    }
    // The job's callback goes to the I/O thread whole: nothing of it, and
    // so of the connection it answers, is left to end on this thread.
    boost::asio::post(io_, [&io = io_, delay = wrong_delay_, right, user = std::move(job.user),
                            done = std::move(job.done)]() mutable {
      if (right) return done(Verdict::user, user);
      auto timer = std::make_shared<boost::asio::steady_timer>(io, delay);
      timer->async_wait([timer, done = std::move(done)](const boost::system::error_code&) {
        done(Verdict::wrong, {});
      });
    });
  }
}

}  // namespace kplhost
