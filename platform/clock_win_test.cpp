#include "platform/clock_win.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace korvelt {
namespace {

uint32_t Milliseconds(const SYSTEMTIME& time) {
  return ((time.wHour * 60u + time.wMinute) * 60u + time.wSecond) * 1000u + time.wMilliseconds;
}

// The clock gives the UTC time of day in milliseconds, as GetSystemTime
// tells it around the call.
TEST(Win32ClockTest, TimeOfDayInUtc) {
  Win32Clock clock;
  SYSTEMTIME before;
  SYSTEMTIME after;
  GetSystemTime(&before);
  uint32_t now = clock.TimeOfDayMilliseconds();
  GetSystemTime(&after);
  EXPECT_LT(now, 86400000u);
  if (Milliseconds(before) <= Milliseconds(after)) {  // unless midnight passed meanwhile
    EXPECT_GE(now, Milliseconds(before));
    EXPECT_LE(now, Milliseconds(after));
  }
}

}  // namespace
}  // namespace korvelt
