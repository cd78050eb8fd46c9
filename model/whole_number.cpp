#include "model/whole_number.h"

#include <json/writer.h>

#include <climits>
#include <cmath>
#include <cstdlib>

namespace {

WholeNumber from_text(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {WholeNumber::absent, 0};
  const size_t last = text.find_last_not_of(" \t");
  const std::string digits = text.substr(first, last - first + 1);
  const size_t sign = (digits[0] == '+' || digits[0] == '-') ? 1 : 0;
  if (digits.size() == sign || digits.find_first_not_of("0123456789", sign) != std::string::npos)
    return {WholeNumber::not_whole, 0};
  // Beyond the range strtoll saturates, which every range check refuses.
  return {WholeNumber::whole, std::strtoll(digits.c_str(), nullptr, 10)};
}

}  // namespace

WholeNumber read_whole_number(const Json::Value& v) {
  switch (v.type()) {
    case Json::nullValue:
      return {WholeNumber::absent, 0};
    case Json::intValue:
      return {WholeNumber::whole, static_cast<long long>(v.asLargestInt())};
    case Json::uintValue:
      if (v.asLargestUInt() > static_cast<Json::LargestUInt>(LLONG_MAX))
        return {WholeNumber::whole, LLONG_MAX};
      return {WholeNumber::whole, static_cast<long long>(v.asLargestUInt())};
    case Json::realValue: {
      const double d = v.asDouble();
      if (!std::isfinite(d) || d != std::trunc(d)) return {WholeNumber::not_whole, 0};
      // 2^63 is exact as a double; every whole double below it converts, and
      // those beyond take the nearest bound.
      if (std::fabs(d) >= 9223372036854775808.0)
        return {WholeNumber::whole, d < 0 ? LLONG_MIN : LLONG_MAX};
      return {WholeNumber::whole, static_cast<long long>(d)};
    }
    case Json::stringValue:
      return from_text(v.asString());
    default:
      return {WholeNumber::not_whole, 0};
  }
}

std::string json_text(const Json::Value& v) {
  Json::StreamWriterBuilder b;
  b["indentation"] = "";
  // 1.9 as the operator wrote it, not 1.8999999999999999.
  b["precision"] = 15;
  return Json::writeString(b, v);
}
