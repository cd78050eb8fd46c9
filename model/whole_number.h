// Whole numbers in the device's "appSetting", such as the reply time-out: a
// setting is a whole number only when it reads as one, not when it merely
// starts like one ("2x", 1.9, true).
#pragma once

#include <json/value.h>

#include <string>

struct WholeNumber {
  enum Reading {
    absent,     // missing, null or empty text: the setting is not given
    whole,      // a whole number, in value
    not_whole,  // anything else
  };
  Reading reading = absent;
  long long value = 0;
};

// Numbers, and text holding only an optional sign and decimal digits (blanks
// around them allowed). Whole values beyond the range of long long take the
// nearest bound.
WholeNumber read_whole_number(const Json::Value& v);

// The value as compact JSON text, for messages.
std::string json_text(const Json::Value& v);
