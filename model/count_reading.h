// A block count in the device's "appSetting". Any scalar gives a count: the
// whole number its text (Json::Value::asString) starts with, read as C's
// atoi reads it (leading blanks, an optional sign, the decimal digits up to
// the first other character; no digits give 0). So 1.9 gives 1, "2x" 2, and
// true, false and "x" 0. Arrays and objects have no text and give none.
#pragma once

#include <json/value.h>

#include <string>

struct CountReading {
  enum Kind {
    absent,          // missing, null or blank text: the count is not given
    whole,           // the value is a whole number, taken as it is
    leading_number,  // taken from the start of its text; the rest is not read
    no_text,         // an array or an object
  };
  Kind kind = absent;
  long long value = 0;
};

CountReading read_count(const Json::Value& v);

// The whole number at the start of a text, as atoi reads it, but defined
// beyond the range of long long: such a number takes the nearest bound.
long long leading_whole_number(const std::string& text);
