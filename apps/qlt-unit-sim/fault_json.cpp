#include "apps/qlt-unit-sim/fault_json.h"

#include <algorithm>
#include <sstream>

#include "apps/qlt-unit-sim/fault_effects.h"
#include "apps/qlt-unit-sim/json_read.h"

namespace qltsim {

namespace {

constexpr const char* known_keys[] = {"mode", "every", "every_nth", "next",
                                      "ms",   "code",  "bytes",     "missing_items"};

// The modes whose "ms" has no sensible default.
constexpr FaultMode timed_modes[] = {FaultMode::delay, FaultMode::gateway,
                                     FaultMode::late_duplicate};

struct ScheduleKey {
  const char* key;
  Schedule::Kind kind;
};
constexpr ScheduleKey schedule_keys[] = {
    {"every_nth", Schedule::every_nth},
    {"next", Schedule::next},
};

// Blank-separated bytes of one or two hex digits each.
Octets hex_bytes(const Json::Value& v, const std::string& key) {
  std::istringstream in(json_string(v, key));
  Octets out;
  for (std::string byte; in >> byte;) {
    if (byte.size() > 2 || byte.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
      throw_expected(key, "blank-separated hex bytes such as \"de ad be ef\"", v);
    out.push_back(static_cast<unsigned char>(std::stoul(byte, nullptr, 16)));
  }
  if (out.empty()) throw_expected(key, "at least one hex byte", v);
  return out;
}

Schedule schedule_of(const Json::Value& v, const std::string& where) {
  Schedule s = Schedule::always();
  int given = json_bool(v["every"], where + ".every", false) ? 1 : 0;
  for (const ScheduleKey& k : schedule_keys) {
    if (!v.isMember(k.key)) continue;
    ++given;
    s = Schedule{k.kind, static_cast<int>(json_int(v[k.key], where + "." + k.key, 1, 1000000, 1))};
  }
  if (given > 1) throw ConfigError(where + ": give at most one of every, every_nth and next");
  return s;
}

}  // namespace

Fault fault_from_json(const Json::Value& v, const std::string& where) {
  if (!v.isObject()) throw_expected(where, "a fault object", v);
  for (const std::string& key : v.getMemberNames())
    if (std::find_if(std::begin(known_keys), std::end(known_keys),
                     [&](const char* k) { return key == k; }) == std::end(known_keys))
      throw ConfigError(where + "." + key + ": not a fault setting");

  Fault f;
  const auto mode = fault_mode_named(json_string(v["mode"], where + ".mode"));
  if (!mode) throw_expected(where + ".mode", "one of " + fault_mode_names(), v["mode"]);
  f.mode = *mode;
  f.when = schedule_of(v, where);
  if (!v.isMember("ms") &&
      std::find(std::begin(timed_modes), std::end(timed_modes), f.mode) != std::end(timed_modes))
    throw ConfigError(where + ".ms: a " + fault_mode_name(f.mode) + " fault needs \"ms\"");
  f.delay = std::chrono::milliseconds(json_int(v["ms"], where + ".ms", 0, 3600000, 0));
  f.code = static_cast<std::uint8_t>(json_int(v["code"], where + ".code", 0, 255, 0));
  f.missing_items =
      static_cast<int>(json_int(v["missing_items"], where + ".missing_items", 1, max_quantity, 1));
  if (v.isMember("bytes")) f.junk = hex_bytes(v["bytes"], where + ".bytes");
  return f;
}

std::vector<Fault> faults_from_json(const Json::Value& list, const std::string& where) {
  if (list.isNull()) return {};
  if (!list.isArray()) throw_expected(where, "an array of faults", list);
  std::vector<Fault> out;
  for (Json::ArrayIndex i = 0; i < list.size(); ++i)
    out.push_back(fault_from_json(list[i], where + "[" + std::to_string(i) + "]"));
  return out;
}

}  // namespace qltsim
