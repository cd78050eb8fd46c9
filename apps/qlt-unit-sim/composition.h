// What a unit is made of: how many blocks of each kind follow its base
// block, and where each block starts in the item sequence.
#pragma once

#include <json/value.h>

#include <string>

namespace qltsim {

struct Composition {
  int ups = 0;
  int pdu_type_1 = 0;
  int pdu_type_2 = 0;
  int pdu_type_3 = 0;
  int ac = 0;

  // Every item of the unit, base block included.
  long items() const;
  // First item of UPS block i and of air-conditioner block j, both from 0.
  int ups_block(int i) const;
  int ac_block(int j) const;

  // Reads the counts of an "appSetting" object. Counts may be numbers or
  // numeric strings; missing or null counts are 0. Throws ConfigError, with
  // key paths below `where`, on a negative count or an absurd item total.
  static Composition from_app_setting(const Json::Value& setting, const std::string& where);
};

}  // namespace qltsim
