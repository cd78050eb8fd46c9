// The little YAML a web configuration file is written in, read strictly:
// block mappings by indentation and one-line flow mappings ({a: b}), whose
// values are plain, 'single' or "double" quoted scalars, with # comments.
// Anything else YAML has (sequences, anchors, tags, block scalars, several
// documents) is refused with its line, rather than read in a way the writer
// did not mean.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace kplhost {

// "FILE:LINE: what is wrong".
class WebConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct YamlNode {
  int line = 0;
  bool is_map = false;
  // A key with nothing after it, or an empty document.
  bool is_null = false;
  std::string scalar;
  std::vector<std::pair<std::string, YamlNode>> map;
};

// path names the file in messages. Throws WebConfigError.
YamlNode parse_yaml_subset(const std::string& text, const std::string& path);

}  // namespace kplhost
