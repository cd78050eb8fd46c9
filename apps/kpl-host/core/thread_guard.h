// The last resort at the root of every thread the host runs. An exception
// that escapes a thread's body would end the process without a word
// (std::terminate), or leave the host running with nobody doing that
// thread's work. Here the thread is named, the failure is said, and the host
// is asked to stop, which it then does with a status saying it failed.
#pragma once

#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace kplhost {

class ThreadGuard {
 public:
  // Told on the failing thread, with the line that says what failed:
  // "the history writer thread failed: <what>; stopping".
  using OnFailure = std::function<void(const std::string& line)>;

  // What a failure does from now on. Threads start before their owner can
  // wire this: a failure until then is kept and handed over here.
  void wire(OnFailure on_failure);

  // Runs body on the calling thread, which `thread` names in the line.
  template <class F>
  void run(const char* thread, F&& body) noexcept {
    try {
      body();
    } catch (const std::exception& e) {
      fail(thread, e.what());
    } catch (...) {
      fail(thread, "an exception of unknown type");
    }
  }
  // A new thread that runs body so.
  template <class F>
  std::thread start(const char* thread, F body) {
    return std::thread([this, thread, body = std::move(body)]() mutable { run(thread, body); });
  }
  // Whether a thread has failed.
  bool any_failed() const;

 private:
  void fail(const char* thread, const char* what) noexcept;

  mutable std::mutex lock_;
  OnFailure on_failure_;
  std::vector<std::string> unsaid_;
  bool failed_ = false;
};

}  // namespace kplhost
