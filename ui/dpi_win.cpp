#include "ui/dpi_win.h"

#include "ui/layout.h"

namespace korvelt {
namespace {

using GetDpiForWindowProc = UINT(WINAPI*)(HWND);
using GetSystemMetricsForDpiProc = int(WINAPI*)(int, UINT);

// Both came with Windows 10; older systems lack them, and the stub must
// still start there.
template <typename Function>
Function User32Function(const char* name) {
  HMODULE user32 = GetModuleHandleA("user32.dll");
  return user32 ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}

}  // namespace

int32_t WindowDpi(HWND window) {
  auto forWindow = User32Function<GetDpiForWindowProc>("GetDpiForWindow");
  if (forWindow) {
    UINT dpi = forWindow(window);
    if (dpi) return static_cast<int32_t>(dpi);
  }
  HDC screen = GetDC(nullptr);
  int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

int32_t ScaleToWindow(HWND window, int32_t pixels) { return ScaledPixels(pixels, WindowDpi(window)); }

int SystemMetricFor(HWND window, int metric) {
  auto forDpi = User32Function<GetSystemMetricsForDpiProc>("GetSystemMetricsForDpi");
  return forDpi ? forDpi(metric, static_cast<UINT>(WindowDpi(window))) : GetSystemMetrics(metric);
}

}  // namespace korvelt
