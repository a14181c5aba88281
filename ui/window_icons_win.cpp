#include "ui/window_icons_win.h"

#include "ui/dpi_win.h"

namespace korvelt {
namespace {

HICON LoadIconAt(HWND window, int id, int widthMetric, int heightMetric) {
  return static_cast<HICON>(LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_ICON,
                                       SystemMetricFor(window, widthMetric), SystemMetricFor(window, heightMetric), 0));
}

}  // namespace

void WindowIcons::Set(HWND window, int id) {
  HICON large = LoadIconAt(window, id, SM_CXICON, SM_CYICON);
  HICON small = LoadIconAt(window, id, SM_CXSMICON, SM_CYSMICON);
  SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large));
  SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  Release();
  large_ = large;
  small_ = small;
}

void WindowIcons::Release() {
  if (large_) DestroyIcon(large_);
  if (small_) DestroyIcon(small_);
  large_ = nullptr;
  small_ = nullptr;
}

}  // namespace korvelt
