// The socket systemd listens on for a service's notices (NOTIFY_SOCKET): a
// datagram socket at a path, read one notice at a time. While it lives, the
// process's environment names it, with a watchdog interval, for whatever it
// then starts; the environment is restored when it goes.
#pragma once

#include <chrono>
#include <optional>
#include <string>

class NotifySocket {
 public:
  NotifySocket(const std::string& path, std::chrono::microseconds watchdog);
  ~NotifySocket();
  NotifySocket(const NotifySocket&) = delete;
  NotifySocket& operator=(const NotifySocket&) = delete;

  // The next notice, or nothing within the limit.
  std::optional<std::string> receive(std::chrono::milliseconds limit);
  // Reads notices until one starts with `text`; whether it came within the
  // limit.
  bool wait_for(const std::string& text, std::chrono::milliseconds limit);

 private:
  std::string path_;
  int fd_ = -1;
};
