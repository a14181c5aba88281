#include "platform/clock_win.h"

#include <windows.h>

namespace korvelt {

uint32_t Win32Clock::TimeOfDayMilliseconds() {
  SYSTEMTIME now;
  GetSystemTime(&now);
  return ((uint32_t{now.wHour} * 60 + now.wMinute) * 60 + now.wSecond) * 1000 + now.wMilliseconds;
}

}  // namespace korvelt
