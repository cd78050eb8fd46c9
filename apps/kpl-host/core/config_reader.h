// Reading a configuration document: every complaint names the file, the key
// and what was expected, and an unknown key is a misspelling, with the known
// key it was probably meant to be.
#pragma once

#include <json/value.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>

#include "apps/kpl-host/core/close_match.h"
#include "apps/kpl-host/core/config.h"

namespace kplhost {

class ConfigReader {
 public:
  explicit ConfigReader(std::string path) : path_(std::move(path)) {}

  [[noreturn]] void fail(const std::string& key, const std::string& expected,
                         const Json::Value* got = nullptr) const {
    std::string msg = "expected " + expected;
    if (got) msg += ", got " + describe(*got);
    complain(key, msg);
  }

  // Throws for the first key of obj (found at `at`, "" for the document)
  // that is not among known.
  template <std::size_t N>
  void only_keys(const Json::Value& obj, const std::string& at,
                 const std::string_view (&known)[N]) const {
    for (const std::string& name : obj.getMemberNames())
      if (std::find(known, known + N, name) == known + N)
        unknown_key(at.empty() ? name : at + "." + name, name, known, known + N);
  }

  // 64 bits whatever long is: the bounds reach 4294967295, past a 32-bit long.
  long long integer(const Json::Value& v, const std::string& key, long long lo,
                    long long hi) const {
    // isInt64 first: asLargestInt throws for a whole number beyond it (1e19).
    if (!v.isIntegral() || v.isBool() || !v.isInt64() || v.asLargestInt() < lo ||
        v.asLargestInt() > hi)
      fail(key, "an integer from " + std::to_string(lo) + " to " + std::to_string(hi), &v);
    return v.asLargestInt();
  }

  long long integer_or(const Json::Value& obj, const char* name, const std::string& key,
                       long long lo, long long hi, long long fallback) const {
    const Json::Value& v = obj[name];
    return v.isNull() ? fallback : integer(v, key, lo, hi);
  }

  double number(const Json::Value& v, const std::string& key) const {
    if (!v.isNumeric() || v.isBool() || !std::isfinite(v.asDouble())) fail(key, "a number", &v);
    return v.asDouble();
  }

  // A number from lo to hi, or fallback when obj has no such key.
  double number_or(const Json::Value& obj, const char* name, const std::string& key, double lo,
                   double hi, double fallback) const {
    const Json::Value& v = obj[name];
    if (v.isNull()) return fallback;
    const double d = number(v, key);
    if (d < lo || d > hi) fail(key, "a number from " + text(lo) + " to " + text(hi), &v);
    return d;
  }

  const Json::Value& object(const Json::Value& v, const std::string& key) const {
    if (!v.isObject()) fail(key, "an object", &v);
    return v;
  }

 private:
  // 0.01, 100000: as few digits as the bound needs.
  static std::string text(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
  }

  static std::string describe(const Json::Value& v) {
    if (v.isNull()) return "nothing";
    if (v.isObject()) return "an object";
    if (v.isArray()) return "an array";
    if (v.isString()) return "\"" + v.asString() + "\"";
    std::string s = v.toStyledString();
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
  }

  [[noreturn]] void complain(const std::string& key, const std::string& problem) const {
    throw ConfigError(path_ + ": " + key + ": " + problem);
  }

  // Suggests the known key the name was probably meant to be, or else lists them all.
  [[noreturn]] void unknown_key(const std::string& key, const std::string& name,
                                const std::string_view* first, const std::string_view* last) const {
    const std::string_view match = close_match(name, first, last);
    if (!match.empty()) complain(key, "unknown key; did you mean " + std::string(match) + "?");
    std::string known;
    for (const std::string_view* k = first; k != last; ++k)
      known.append(k == first ? "" : ", ").append(*k);
    complain(key, "unknown key; known keys: " + known);
  }

  std::string path_;
};

}  // namespace kplhost
