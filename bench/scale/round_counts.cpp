#include "bench/scale/round_counts.h"

#include <fstream>
#include <stdexcept>

#include "testkit/json_text.h"

namespace qltbench {

std::map<unsigned int, long> rounds_per_device(const std::string& devices_json) {
  std::map<unsigned int, long> rounds;
  for (const Json::Value& d : json_of(devices_json))
    rounds[d["device"].asUInt()] = static_cast<long>(d["rounds"].asInt64());
  return rounds;
}

std::map<unsigned int, long> rounds_between(const std::map<unsigned int, long>& before,
                                            const std::map<unsigned int, long>& after) {
  std::map<unsigned int, long> rounds;
  for (const auto& [device, n] : after) {
    const auto b = before.find(device);
    rounds[device] = n - (b == before.end() ? 0 : b->second);
  }
  return rounds;
}

std::map<unsigned int, long> passes_per_device(const std::string& passes_path, std::time_t from,
                                               std::time_t to) {
  std::ifstream in(passes_path);
  if (!in) throw std::runtime_error(passes_path + ": cannot be read");
  std::map<unsigned int, long> passes;
  unsigned int device = 0;
  long long second = 0;
  while (in >> device >> second)
    if (second >= from && second < to) ++passes[device];
  return passes;
}

}  // namespace qltbench
