// A clock for unit tests that gives the times it is told, in order, and
// then goes on from the last one in steps.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "platform/clock.h"

namespace korvelt::testing {

class FakeClock final : public Clock {
 public:
  uint32_t TimeOfDayMilliseconds() override {
    uint32_t now = next < times.size() ? times[next] : last + step;
    ++next;
    last = now;
    return now;
  }

  std::vector<uint32_t> times;
  uint32_t step = 0;
  uint32_t last = 0;
  size_t next = 0;  // how many times were read
};

}  // namespace korvelt::testing
