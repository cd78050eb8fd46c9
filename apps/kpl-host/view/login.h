// The login of the web configuration's users: each request carries a user
// and password (HTTP basic authentication), checked against the user's
// bcrypt hash on a thread of the login's own, never on the I/O thread that
// the polling needs (a hash of cost 10 takes a good part of a second on the
// controller). A password once found right is known for the host's life, so
// that a page asking every second costs no hash; one found wrong is answered
// only after a delay, on a timer, and counted. Nothing here keeps or says a
// password: the cache holds a keyed hash of it.
#pragma once

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "apps/kpl-host/core/thread_guard.h"

namespace kplhost {

class Login {
 public:
  enum class Verdict {
    user,     // the user and password are right
    missing,  // no credentials, or not basic ones
    wrong,    // an unknown user, or a wrong password
    busy,     // too many checks already waiting
  };
  using Done = std::function<void(Verdict, const std::string& user)>;

  // users: name to bcrypt hash. The checks run on a thread under `threads`.
  // wrong_delay: how long a wrong password waits for its answer.
  Login(boost::asio::io_context& io, std::map<std::string, std::string> users, ThreadGuard& threads,
        std::chrono::milliseconds wrong_delay = std::chrono::seconds(1));
  ~Login();
  Login(const Login&) = delete;
  Login& operator=(const Login&) = delete;

  // The Authorization header's verdict, to `done` on the I/O thread: at
  // once for missing credentials and for a password known right, after the
  // check otherwise. Call on the I/O thread.
  void check(const std::string& authorization, Done done);
  // Wrong passwords since the host started.
  long failures() const { return failures_; }

  // What a page of the user's must send with a form: a keyed hash of the
  // user's name that a page of another site cannot read. Changes with every
  // start of the host.
  std::string form_token(const std::string& user) const;
  bool form_token_matches(const std::string& user, const std::string& token) const;

 private:
  struct Job {
    std::string user, password;
    Done done;
  };
  void run();
  // A keyed hash of the pair, as the cache of right passwords holds it.
  std::string fingerprint(const std::string& user, const std::string& password) const;

  boost::asio::io_context& io_;
  const std::map<std::string, std::string> users_;
  const std::chrono::milliseconds wrong_delay_;
  std::string secret_;
  std::atomic<long> failures_{0};
  std::mutex lock_;
  std::condition_variable wake_;
  std::deque<Job> jobs_;
  std::set<std::string> known_right_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace kplhost
