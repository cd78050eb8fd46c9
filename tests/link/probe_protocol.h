// A protocol layer whose handlers record the frames they are given.
#pragma once

#include <vector>

#include "link/qlt_protocol.h"
#include "testkit/hex.h"

struct HandledFrame {
  bool payload;  // process_payload, else process_error
  Bytes frame;   // the frame as the handler saw it, header and all
};

class ProbeProtocol : public QLTProtocol {
 public:
  int LoadFromCache(const unsigned char*, int) override { return 0; }

  int process_payload() override { return record(true, payload_result); }
  int process_error() override { return record(false, error_result); }

  // Feeds a chunk as the host's receive path would.
  int feed(const Bytes& b) {
    return process(socket_id, const_cast<unsigned char*>(b.data()), int(b.size()));
  }

  std::vector<HandledFrame> handled;
  int payload_result = 7;
  int error_result = 0;

 private:
  int record(bool payload, int result) {
    const int size = modbus::frame_size(*cur_header);
    const auto* p = reinterpret_cast<const unsigned char*>(cur_header);
    handled.push_back({payload, Bytes(p, p + size)});
    return result;
  }
};
