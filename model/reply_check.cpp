// Which completed frames answer the request outstanding, by the ids they
// carry (model/reply_identity.h), with the line that says why one does not;
// and what becomes of a frame cut by the reply time-out.

#include <arpa/inet.h>

#include <cstdio>

#include "model/qlt_model.h"

void QLTModel::give_up_partial_frame() {
  if (recv_len <= 0) return;
  // The rest of a reply cut by the time-out may still come, in the same
  // stream: dropping what has arrived would have the rest read as a frame
  // of its own, whose length, taken from reply data, could swallow the
  // replies after it. Bytes that cannot start the awaited reply, or a frame
  // already kept at the time-out before and still not complete, are no
  // frame to wait for and go at once.
  const ReplyIdentity::Awaited awaited{awaited_trans_id, dev_addr};
  if (!discarding_partial_frame() && identity.may_start_reply(recv_buf, recv_len, awaited))
    discard_partial_frame();
  else
    drop_partial_frame();
}

namespace {

void say_change(const char* operation, ReplyIdentity::Change change, unsigned int data_id,
                const rdu_header& h, unsigned int awaited_trans_id, unsigned int unit) {
  const unsigned int trans = ntohs(h.trans_id);
  switch (change) {
    case ReplyIdentity::unchanged:
      return;
    case ReplyIdentity::stops_echoing:
      std::printf(
          "QLTModel::%s data_id:%u trans_id:%u expected_trans_id:%u the unit does "
          "not echo transaction ids; its replies are taken in order\n",
          operation, data_id, trans, awaited_trans_id);
      break;
    case ReplyIdentity::echoes_again:
      std::printf("QLTModel::%s data_id:%u the unit echoes transaction ids again\n", operation,
                  data_id);
      break;
    case ReplyIdentity::other_unit:
      std::printf(
          "QLTModel::%s data_id:%u unit_id:%u expected_unit_id:%u the unit answers "
          "with another unit id; its replies are taken\n",
          operation, data_id, static_cast<unsigned int>(h.unit_id), unit);
      break;
    case ReplyIdentity::own_unit_again:
      std::printf("QLTModel::%s data_id:%u the unit answers with its unit id again\n", operation,
                  data_id);
      break;
  }
  std::fflush(stdout);
}

}  // namespace

bool QLTModel::answers_outstanding(const char* operation, bool fits, bool say_why) {
  const unsigned int trans = ntohs(cur_header->trans_id);
  if (!awaiting_reply) {
    if (!say_why) return false;
    std::printf("QLTModel::%s Error:data_id:%u trans_id:%u no request outstanding\n", operation,
                data_id, trans);
    std::fflush(stdout);
    return false;
  }
  const ReplyIdentity::Reply reply{static_cast<std::uint16_t>(trans), ntohs(cur_header->proto_id),
                                   cur_header->unit_id, fits};
  ReplyIdentity::Change change;
  const ReplyIdentity::Verdict verdict =
      identity.check(reply, {awaited_trans_id, dev_addr}, change);
  say_change(operation, change, data_id, *cur_header, awaited_trans_id, dev_addr);
  if (verdict == ReplyIdentity::accept) return true;
  if (!say_why) return false;
  if (verdict == ReplyIdentity::wrong_protocol)
    std::printf("QLTModel::%s Error:data_id:%u proto_id:%u expected_proto_id:0\n", operation,
                data_id, static_cast<unsigned int>(reply.proto_id));
  else if (verdict == ReplyIdentity::wrong_unit)
    std::printf("QLTModel::%s Error:data_id:%u unit_id:%u expected_unit_id:%u\n", operation,
                data_id, static_cast<unsigned int>(reply.unit_id),
                static_cast<unsigned int>(dev_addr));
  else
    std::printf("QLTModel::%s Error:data_id:%u trans_id:%u expected_trans_id:%u\n", operation,
                data_id, trans, static_cast<unsigned int>(awaited_trans_id));
  std::fflush(stdout);
  return false;
}
