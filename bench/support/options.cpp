#include "bench/support/options.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace qltbench {

Options::Options(int argc, char** argv, int first, std::initializer_list<const char*> known) {
  for (int i = first; i < argc; i += 2) {
    const std::string key = argv[i];
    if (std::none_of(known.begin(), known.end(), [&](const char* k) { return key == k; }))
      throw std::invalid_argument("unknown option " + key);
    if (i + 1 >= argc) throw std::invalid_argument(key + " needs a value");
    values_[key] = argv[i + 1];
  }
}

std::string Options::text(const std::string& key, const std::string& fallback) const {
  const auto it = values_.find(key);
  return it == values_.end() ? fallback : it->second;
}

int Options::number(const std::string& key, int fallback) const {
  const auto it = values_.find(key);
  if (it == values_.end()) return fallback;
  char* end = nullptr;
  const long v = std::strtol(it->second.c_str(), &end, 10);
  if (it->second.empty() || *end != '\0' || v < -1000000000L || v > 1000000000L)
    throw std::invalid_argument(key + ": expected a whole number, got " + it->second);
  return static_cast<int>(v);
}

int run_program(int argc, char** argv, int first, std::initializer_list<const char*> known,
                const char* name, const char* usage,
                const std::function<int(const Options&)>& body) {
  try {
    return body(Options(argc, argv, first, known));
  } catch (const std::invalid_argument& e) {
    std::fprintf(stderr, "%s: %s\nusage: %s\n", name, e.what(), usage);
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", name, e.what());
    return 1;
  }
}

}  // namespace qltbench
