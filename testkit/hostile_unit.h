// A field unit written with plain sockets, sharing nothing with the plug-in
// or the simulated unit: it reads Modbus TCP read requests and answers them
// as it is told to: late, one after another, twice, cut in two, with ids
// that are not the request's, or not at all. Every item of the n-th reply
// it makes for a unit id (n from 1) carries the value n, plus 100000 for
// each unit id above 1, so a test can tell which reply, and which unit's,
// each part of an image came from; a repeated reply carries the n of the
// reply it repeats.
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
    // Reply number cut_reply (from 1; 0: none) goes out in two writes: its
    // first cut_at bytes, and the rest cut_wait later. The replies after it
    // wait behind it, as on one byte stream.
    int cut_reply = 0;
    int cut_at = 0;
    std::chrono::milliseconds cut_wait{0};
    // The data bytes of the cut reply, all of them; -1: its items. 0x0f
    // makes the rest of it, read as a header, declare a frame of 3861 bytes.
    int cut_fill = -1;
    // What every reply carries in place of the request's transaction id and
    // unit id (-1: the request's), and as its protocol id. With
    // unit_id_varies the unit id goes up by one from reply to reply.
    int trans_id = -1;
    int unit_id = -1;
    bool unit_id_varies = false;
    int proto_id = 0;
    // A gateway to a serial bus that every connection shares: requests from
    // all of them are answered in turn, each by the unit it names, and every
    // reply goes to every connection.
    bool broadcast = false;
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
  struct Client {
    int fd;
    std::vector<unsigned char> in;
  };
  struct Due {
    std::vector<unsigned char> bytes;
    // The connection it goes to; -1: every one.
    int fd;
  };
  void serve();
  void accept_client();
  void close_client(size_t i);
  void take_requests(Client& c);
  void send_due();
  void send_unsolicited();
  std::vector<unsigned char> answer(const unsigned char* request);

  Behaviour behaviour_;
  int listener_ = -1;
  std::vector<Client> clients_;
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
  std::map<unsigned char, int> replies_for_unit_;
  std::thread thread_;
};
