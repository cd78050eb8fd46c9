// The protocol layer between the host's socket device and the model: opens
// the connection, reassembles the received byte stream into Modbus TCP frames
// in the receive buffer, and dispatches each frame by its function code.
#pragma once

#include "host/kpl_socket_device.h"
#include "link/frames.h"

class QLTProtocol : public KPLSocketDevice {
 public:
  // Lets the host fill the endpoint and device address, then connects.
  int Init(std::weak_ptr<KPLController> controller, unsigned int device_number,
           const Json::Value& config) override;
  // Takes one received chunk. Every frame that it completes is dispatched, in
  // order; bytes after the last complete frame stay as the next frame's start.
  int process_data(int handle, unsigned char* data, int len) override;

  // A data reply (function 3 or 16) is complete, its words in host order.
  virtual int process_payload() = 0;
  // An error reply (function 144) or an exception reply (any other function
  // code with the high bit set) is complete.
  virtual int process_error() = 0;

  // Turns a filled request into its wire image; apply once per record.
  void hton(rdu_read& req);
  // Converts the data words of a reply to host order, in place.
  void ntoh(rdu_read_reply& reply);

  // The frame under reassembly answers nothing any more: it is dropped
  // whole once complete, so that the rest of it, still on its way, is never
  // read as the start of a frame.
  void discard_partial_frame() { discarding_ = recv_len > 0; }
  bool discarding_partial_frame() const { return discarding_; }
  // Forgets the bytes of a frame under reassembly at once.
  void drop_partial_frame() {
    recv_len = 0;
    discarding_ = false;
  }

  // The frame being handled; valid only while process_payload/process_error run.
  rdu_header* cur_header = nullptr;
  rdu_read_reply* cur_reply = nullptr;

 private:
  // Dispatches every complete frame held, leaving the last result in
  // `result`; false when the frame at the front declares a size that no
  // frame can have, so the stream has lost its framing.
  bool dispatch_held(int& result);
  int dispatch();

  bool discarding_ = false;
};
