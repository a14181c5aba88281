// The time of day, from which the download worker works out its speed.
#pragma once

#include <stdint.h>

namespace korvelt {

class Clock {
 public:
  // Milliseconds since midnight UTC: ((hour × 60 + minute) × 60 + second)
  // × 1000 + milliseconds.
  virtual uint32_t TimeOfDayMilliseconds() = 0;

 protected:
  ~Clock() = default;
};

}  // namespace korvelt
