// The "--key value" pairs of a measurement program's command line.
#pragma once

#include <functional>
#include <initializer_list>
#include <map>
#include <string>

namespace qltbench {

class Options {
 public:
  // Reads argv[first..]; throws std::invalid_argument for a key not among
  // `known`, a key without a value, or a number that is not one.
  Options(int argc, char** argv, int first, std::initializer_list<const char*> known);

  bool has(const std::string& key) const { return values_.count(key) != 0; }
  std::string text(const std::string& key, const std::string& fallback = "") const;
  int number(const std::string& key, int fallback) const;

 private:
  std::map<std::string, std::string> values_;
};

// A measurement program's main: reads the options from argv[first..] and
// runs body with them. An option it refuses, or std::invalid_argument from
// body, prints the problem and the usage and gives exit status 2; any other
// exception prints its message and gives 1.
int run_program(int argc, char** argv, int first, std::initializer_list<const char*> known,
                const char* name, const char* usage,
                const std::function<int(const Options&)>& body);

}  // namespace qltbench
