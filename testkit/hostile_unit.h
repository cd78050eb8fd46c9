// A field unit written with plain sockets, sharing nothing with the plug-in
// or the simulated unit: it reads Modbus TCP read requests from one client
// at a time and answers them as it is told to: late, one after another,
// twice, or not at all. Every item of the n-th reply it makes (n from 1)
// carries the value n, so a test can tell which reply each part of an image
// came from; a repeated reply carries the n of the reply it repeats.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

class HostileUnit {
 public:
  using Clock = std::chrono::steady_clock;

  struct Behaviour {
    // How long after its request (or, serially, after the reply before it)
    // a reply goes out.
    std::chrono::milliseconds reply_after{0};
    // One request at a time, as a unit behind a serial gateway.
    bool serial = false;
    // Sends every reply a second time, this long after the first; 0: never.
    std::chrono::milliseconds repeat_after{0};
    // Reads requests and answers none.
    bool mute = false;
    // Takes every connection and resets it at once.
    bool reset_at_accept = false;
    // Frames nobody asked for, sent this many a second (in bursts every
    // 10 ms) while a client is connected; 0: none.
    int unsolicited_per_second = 0;
  };

  // Listens on an ephemeral loopback port and serves until destroyed.
  explicit HostileUnit(Behaviour behaviour);
  ~HostileUnit();
  HostileUnit(const HostileUnit&) = delete;
  HostileUnit& operator=(const HostileUnit&) = delete;

  unsigned short port() const { return port_; }
  // When each request arrived, in order.
  std::vector<Clock::time_point> arrivals() const;
  // For each reply made (not counting repeats), the start address of the
  // request it answered; reply n is element n - 1.
  std::vector<std::uint16_t> answered() const;
  // Connections taken so far, and unsolicited frames sent.
  long accepted() const { return accepted_; }
  long unsolicited() const { return unsolicited_; }

 private:
  struct Due {
    std::vector<unsigned char> bytes;
  };
  void serve();
  void take_requests(std::vector<unsigned char>& in);
  std::vector<unsigned char> answer(const unsigned char* request);

  Behaviour behaviour_;
  int listener_ = -1;
  int client_ = -1;
  unsigned short port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<long> accepted_{0}, unsolicited_{0};
  // Replies and repeats waiting for their time to go.
  std::multimap<Clock::time_point, Due> due_;
  Clock::time_point serial_free_{};
  Clock::time_point flood_from_{};
  long flood_sent_ = 0;
  mutable std::mutex lock_;
  std::vector<Clock::time_point> arrivals_;
  std::vector<std::uint16_t> answered_;
  std::thread thread_;
};
