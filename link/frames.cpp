#include "link/frames.h"

#include <arpa/inet.h>

namespace modbus {

int frame_size(const rdu_header& h) { return ntohs(h.length) + mbap_prefix; }

int carried_data_bytes(const rdu_header& h) { return frame_size(h) - reply_data_offset; }

}  // namespace modbus
