// Whole numbers in the device's "appSetting": block counts and the reply
// time-out. A setting is usable only when it reads as one whole number; a
// value that merely starts like one ("2x", 1.9, true) is not taken, since a
// count read wrongly would put every later block's data under the wrong
// points.
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
