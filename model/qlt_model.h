// The device class: one object per field unit. It plans the reads of the
// unit's item map, runs the polling pass that fills the image, and evaluates
// the unit's points after every complete pass.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <vector>

#include "link/frames.h"
#include "link/qlt_protocol.h"
#include "model/reply_identity.h"
#include "model/uni_buffer_device.h"
#include "points/block_names.h"
#include "points/image_layout.h"

class QLTModel : public UniBufferDevice<QLTProtocol, 5273> {
 public:
  using Clock = std::chrono::steady_clock;

  // Items per read request; 50 four-byte items fill a 200-byte reply.
  static constexpr int batch_items = 50;

  QLTModel();
  ~QLTModel() override;

  int Init(std::weak_ptr<KPLController> controller, unsigned int device_number,
           const Json::Value& config) override;
  // A new connection carries no reply to anything sent before it: the pass
  // under way is abandoned, so the next poll starts afresh.
  int OnConnected(int handle) override;
  // Starts a pass when no reply is awaited, or abandons one whose awaited
  // reply is overdue and starts again.
  int RefreshStatus() override;
  int process_payload() override;
  // Error and exception replies: reported; one that answers the request
  // outstanding ends the pass.
  int process_error() override;
  void RunCheckThreshold() override;

  int cur_batch = 0;
  std::vector<rdu_read> requests;
  int ups_count = 0;
  int pdu_type_1_count = 0;
  int pdu_type_2_count = 0;
  int pdu_type_3_count = 0;
  int ac_count = 0;
  unsigned int item_bytes = 0;
  int batch_count = 0;
  // The write position of a pass, and the read position of the point
  // evaluation: the host contract gives a device one cursor for both.
  unsigned char* cursor = nullptr;
  // Where the blocks of this unit lie in the image, from the counts above.
  ImageLayout layout;

  // How long a pass waits for an awaited reply, from when its request went
  // out, before starting over.
  std::chrono::milliseconds reply_timeout{3000};
  // Where the model reads the time; a test steps its own clocks instead.
  Clock::time_point (*now)() = &Clock::now;
  std::time_t (*wall_clock)() = &wall_time_now;

  static std::time_t wall_time_now() { return std::time(nullptr); }

 private:
  // Whether the configuration gave a usable composition.
  bool read_composition(const Json::Value& setting);
  // Names each setting the model does not know; none stops the polling.
  void check_setting_names(const Json::Value& setting);
  void read_reply_timeout(const Json::Value& setting);
  void plan_requests();
  void send_request(int batch);
  // Bytes from cursor to the start of the update_date trailer, in whole items.
  long room_left() const;
  // Whether the completed frame answers the request outstanding; fits: its
  // function, length and byte count are those the request asks for. Writes
  // a line for a change in how the unit is read, and with `say_why` one for
  // a refusal.
  bool answers_outstanding(const char* operation, bool fits, bool say_why);
  bool refuse_reply();
  void end_pass();
  // At a reply time-out: keeps a partial frame that can be the start of the
  // awaited reply, to be dropped whole when the rest comes; drops any other.
  void give_up_partial_frame();

  // A request of the pass is out and its reply is awaited.
  bool awaiting_reply = false;
  Clock::time_point sent_at;
  // Every request goes out with the next number of a running 16-bit count,
  // so a reply to an abandoned or repeated request never passes for the
  // answer to another. Each device starts its count from its own number
  // (Init), so devices that share a gateway never wait for the same id. 0 is
  // never sent: it is what a unit that does not echo ids answers most.
  std::uint16_t next_trans_id = 1;
  std::uint16_t awaited_trans_id = 0;
  ReplyIdentity identity;
  BlockNames block_names;
};
