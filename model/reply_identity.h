// Which replies answer the request outstanding, by what a reply says of
// itself: its transaction id, protocol id and unit id. A reply must carry
// protocol id 0, the unit id of the request and its transaction id. Two
// kinds of units that break one of these rules the same way every time are
// still read, once a few replies in a row have shown it:
// - one that does not echo transaction ids (always 0, or a count of its
//   own): its replies are taken in order, one request being outstanding at
//   a time, as long as they carry the request's unit id;
// - one that always answers with the same other unit id: its replies are
//   taken as long as they carry the request's transaction id.
// A gateway that copies every reply to every connection brings another
// unit's replies too; they carry that unit's id and the transaction ids of
// another device, so neither way lets them in: each device counts its ids
// from a start of its own, and each fallback holds only while the other
// field matches.
#pragma once

#include <cstdint>

class ReplyIdentity {
 public:
  // Replies in a row that show a unit's way before it is taken.
  static constexpr int replies_to_show = 3;
  // Ids this far behind the one awaited are answers to earlier requests
  // (late, or repeated), not a unit's own numbering.
  static constexpr std::uint16_t recent_ids = 64;

  struct Reply {
    std::uint16_t trans_id;
    std::uint16_t proto_id;
    std::uint8_t unit_id;
    // Function, length and byte count are those the request outstanding
    // asks for.
    bool fits;
  };
  struct Awaited {
    std::uint16_t trans_id;
    std::uint8_t unit_id;
  };

  enum Verdict { accept, wrong_protocol, wrong_unit, wrong_trans_id };
  // What changed in the way the unit is read, for a line that says so.
  enum Change { unchanged, stops_echoing, echoes_again, other_unit, own_unit_again };

  Verdict check(const Reply& reply, const Awaited& awaited, Change& change);
  // Whether the first n bytes of a frame can be the start of the awaited
  // reply, as far as they go.
  bool may_start_reply(const unsigned char* bytes, int n, const Awaited& awaited) const;

  bool echoes_ids() const { return echoes_ids_; }
  bool answers_as_other_unit() const { return other_unit_ >= 0; }

 private:
  void forget_misses() { id_misses_ = unit_misses_ = 0; }

  bool echoes_ids_ = true;
  // The other unit id the unit answers with, once shown; -1: none.
  int other_unit_ = -1;
  int id_misses_ = 0;
  int unit_misses_ = 0;
  int missed_unit_ = -1;
};
