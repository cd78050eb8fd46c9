// The row types of the point tables. Items are 4-byte floats, counted within
// their block.
#pragma once

// A value handed to the host's threshold rules by name.
struct AnaloguePoint {
  const char* name;
  const char* desc;
  int item;
};

// An alarm state: in alarm when the item, truncated to an integer, equals
// alarm_value.
struct AlarmPoint {
  const char* id;
  const char* code;
  const char* desc;
  int item;
  int alarm_value;
};
