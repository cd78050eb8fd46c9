// Reading configuration values out of parsed JSON. Every reader names the
// offending key and what it expected, so a bad file is mended without
// guessing; the caller puts the file's name in front.
#pragma once

#include <json/value.h>

#include <stdexcept>
#include <string>

namespace qltsim {

// A configuration value that cannot be used; what() reads
// "<key>: expected <what>, got <value>".
class ConfigError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A ConfigError whose message already begins with the file it is about.
class FileConfigError : public ConfigError {
 public:
  using ConfigError::ConfigError;
};

[[noreturn]] void throw_expected(const std::string& key, const std::string& what,
                                 const Json::Value& got);

// A whole number in [lo, hi], as a number or a string of digits;
// `fallback` when missing or null.
long json_int(const Json::Value& v, const std::string& key, long lo, long hi, long fallback);
// A finite number; `fallback` when missing or null.
double json_number(const Json::Value& v, const std::string& key, double fallback);
bool json_bool(const Json::Value& v, const std::string& key, bool fallback);
std::string json_string(const Json::Value& v, const std::string& key);

// Parses a whole file; a missing or malformed file throws FileConfigError.
Json::Value read_json_file(const std::string& path);

}  // namespace qltsim
