// The density a window is shown at, for the lengths the code computes in
// pixels: the dialog templates scale by themselves, column widths, the
// chooser's depth and the icons' sizes do not.
#pragma once

#include <stdint.h>
#include <windows.h>

namespace korvelt {

// Dots per inch of the screen `window` is on, as the window sees them:
// GetDpiForWindow where the system has it, else the screen's LOGPIXELSY.
int32_t WindowDpi(HWND window);

// `pixels` at 96 dots per inch, taken to `window`'s density.
int32_t ScaleToWindow(HWND window, int32_t pixels);

// A system metric (SM_CXICON, SM_CXVSCROLL, ...) at `window`'s density:
// GetSystemMetricsForDpi where the system has it, else the system's own.
int SystemMetricFor(HWND window, int metric);

}  // namespace korvelt
