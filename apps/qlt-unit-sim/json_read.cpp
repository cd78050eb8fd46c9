#include "apps/qlt-unit-sim/json_read.h"

#include <json/reader.h>
#include <json/writer.h>

#include <cmath>
#include <fstream>
#include <sstream>

namespace qltsim {

namespace {

std::string shown(const Json::Value& v) {
  if (v.isNull()) return "nothing";
  Json::StreamWriterBuilder w;
  w["indentation"] = "";
  std::string text = Json::writeString(w, v);
  if (text.size() > 60) text = text.substr(0, 57) + "...";
  return text;
}

// Digits only, so "1e3", " 2" and "-1" are not taken for counts.
bool digits_only(const std::string& s) {
  if (s.empty() || s.size() > 18) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

bool whole_number(const Json::Value& v, double& out) {
  if (v.isString()) {
    if (!digits_only(v.asString())) return false;
    out = std::stod(v.asString());
    return true;
  }
  if (!v.isNumeric() || v.isBool()) return false;
  out = v.asDouble();
  return std::isfinite(out) && std::floor(out) == out;
}

}  // namespace

void throw_expected(const std::string& key, const std::string& what, const Json::Value& got) {
  throw ConfigError(key + ": expected " + what + ", got " + shown(got));
}

long json_int(const Json::Value& v, const std::string& key, long lo, long hi, long fallback) {
  if (v.isNull()) return fallback;
  double n = 0;
  if (!whole_number(v, n) || n < static_cast<double>(lo) || n > static_cast<double>(hi))
    throw_expected(key, "a whole number from " + std::to_string(lo) + " to " + std::to_string(hi),
                   v);
  return static_cast<long>(n);
}

double json_number(const Json::Value& v, const std::string& key, double fallback) {
  if (v.isNull()) return fallback;
  if (!v.isNumeric() || v.isBool() || !std::isfinite(v.asDouble()))
    throw_expected(key, "a number", v);
  return v.asDouble();
}

bool json_bool(const Json::Value& v, const std::string& key, bool fallback) {
  if (v.isNull()) return fallback;
  if (!v.isBool()) throw_expected(key, "true or false", v);
  return v.asBool();
}

std::string json_string(const Json::Value& v, const std::string& key) {
  if (!v.isString()) throw_expected(key, "a string", v);
  return v.asString();
}

Json::Value read_json_file(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw FileConfigError(path + ": cannot be read");
  Json::CharReaderBuilder builder;
  builder["collectComments"] = false;
  Json::Value root;
  std::string errors;
  if (!Json::parseFromStream(builder, in, &root, &errors))
    throw FileConfigError(path + ": not valid JSON: " + errors);
  return root;
}

}  // namespace qltsim
