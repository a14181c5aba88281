// The time of day from the system clock, in UTC.
#pragma once

#include "platform/clock.h"

namespace korvelt {

class Win32Clock final : public Clock {
 public:
  uint32_t TimeOfDayMilliseconds() override;
};

}  // namespace korvelt
