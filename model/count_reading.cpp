#include "model/count_reading.h"

#include <cctype>
#include <climits>

#include "model/whole_number.h"

long long leading_whole_number(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long v = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    const int digit = text[i] - '0';
    v = v > (LLONG_MAX - digit) / 10 ? LLONG_MAX : v * 10 + digit;
  }
  return negative ? -v : v;
}

CountReading read_count(const Json::Value& v) {
  if (v.isArray() || v.isObject()) return {CountReading::no_text, 0};
  const WholeNumber exact = read_whole_number(v);
  if (exact.reading == WholeNumber::absent) return {CountReading::absent, 0};
  const long long value = leading_whole_number(v.asString());
  // 2.0 reads "2.0" and is whole; 1e20 reads "1e+20", whose text gives 1.
  if (exact.reading == WholeNumber::whole && exact.value == value)
    return {CountReading::whole, value};
  return {CountReading::leading_number, value};
}
