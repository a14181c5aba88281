#include "platform/message_poster_win.h"

#include <windows.h>

namespace korvelt {

bool Win32MessagePoster::Post(WindowId window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return PostMessageA(reinterpret_cast<HWND>(window), message, wParam, lParam) != FALSE;
}

}  // namespace korvelt
