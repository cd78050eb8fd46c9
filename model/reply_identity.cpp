#include "model/reply_identity.h"

ReplyIdentity::Verdict ReplyIdentity::check(const Reply& r, const Awaited& a, Change& change) {
  change = unchanged;
  if (r.proto_id != 0) {
    forget_misses();
    return wrong_protocol;
  }
  const bool own_id = r.trans_id == a.trans_id;

  if (r.unit_id != a.unit_id) {
    if (!own_id) {
      forget_misses();
      return wrong_unit;
    }
    if (r.unit_id == other_unit_) return accept;
    if (!r.fits) {
      forget_misses();
      return wrong_unit;
    }
    id_misses_ = 0;
    unit_misses_ = r.unit_id == missed_unit_ ? unit_misses_ + 1 : 1;
    missed_unit_ = r.unit_id;
    if (unit_misses_ < replies_to_show) return wrong_unit;
    other_unit_ = r.unit_id;
    change = other_unit;
    return accept;
  }

  if (own_id) {
    forget_misses();
    if (other_unit_ >= 0) {
      other_unit_ = -1;
      change = own_unit_again;
    } else if (!echoes_ids_) {
      echoes_ids_ = true;
      change = echoes_again;
    }
    return accept;
  }
  // An id we sent a little earlier: a late or repeated answer to a request
  // no longer outstanding, whether or not the unit echoes. 0 is never sent.
  const std::uint16_t behind = static_cast<std::uint16_t>(a.trans_id - r.trans_id);
  if (r.trans_id != 0 && behind <= recent_ids) {
    forget_misses();
    return wrong_trans_id;
  }
  if (!echoes_ids_) return accept;
  if (!r.fits) {
    forget_misses();
    return wrong_trans_id;
  }
  unit_misses_ = 0;
  if (++id_misses_ < replies_to_show) return wrong_trans_id;
  echoes_ids_ = false;
  change = stops_echoing;
  return accept;
}

bool ReplyIdentity::may_start_reply(const unsigned char* b, int n, const Awaited& a) const {
  // The MBAP header: transaction id (0-1), protocol id (2-3), length (4-5),
  // unit id (6).
  if (echoes_ids_ && n >= 2 && (b[0] << 8 | b[1]) != a.trans_id) return false;
  if (n >= 4 && (b[2] | b[3]) != 0) return false;
  if (n >= 7 && b[6] != a.unit_id && b[6] != other_unit_) return false;
  return true;
}
