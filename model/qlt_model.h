// The device class: one object per field unit. It plans the reads of the
// unit's item map, runs the polling pass that fills the image, and evaluates
// the unit's points after every complete pass.
#pragma once

#include <chrono>
#include <vector>

#include "link/frames.h"
#include "link/qlt_protocol.h"
#include "model/uni_buffer_device.h"
#include "points/block_names.h"

class QLTModel : public UniBufferDevice<QLTProtocol, 5273> {
 public:
  using Clock = std::chrono::steady_clock;

  QLTModel();
  ~QLTModel() override;

  int Init(std::weak_ptr<KPLController> controller, unsigned int device_number,
           const Json::Value& config) override;
  // Starts a pass, or abandons one whose awaited reply is overdue.
  int RefreshStatus() override;
  int process_payload() override;
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
  unsigned char* cursor = nullptr;

  // How long a pass waits for an awaited reply before starting over.
  std::chrono::milliseconds reply_timeout{3000};
  // Where the model reads the time; a test steps its own clock instead.
  Clock::time_point (*now)() = &Clock::now;

 private:
  void read_composition(const Json::Value& setting);
  void plan_requests();
  void send_request(int batch);
  // Bytes from cursor to the start of the update_date trailer, in whole items.
  long room_left() const;
  bool refuse_reply();
  void end_pass();

  // A request of the pass is out and its reply is awaited.
  bool awaiting_reply = false;
  Clock::time_point sent_at;
  BlockNames block_names;
};
