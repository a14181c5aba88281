// The dialog layout services on real windows: centring a window over its
// owner within the work area, and anchoring a resizable dialog's controls.
#pragma once

#include <stddef.h>
#include <windows.h>

#include "ui/layout.h"

namespace korvelt {

// Moves `window`, unsized, centred over its parent (a child window) or its
// visible, unminimised owner, else over the work area, and keeps it inside
// the parent's client area or the work area. Z-order and activation stay.
void PlaceCentred(HWND window);

// Keeps a resizable dialog's controls anchored to its edges, adds a size
// grip and stops the dialog from shrinking below its initial size. One per
// dialog; it must outlive the dialog's messages.
class DialogResizer {
 public:
  struct Settings {
    bool addGrip = true;
    bool enforceMinimum = true;
    LONG forcedStyle = WS_CLIPCHILDREN;
  };

  // Call while the dialog is initialised, after it has been placed: the
  // current client size and control rectangles become the reference.
  // False when memory runs out; the dialog then is not anchored.
  bool Setup(HWND dialog, const ResizeRule* rules, size_t count) { return Setup(dialog, rules, count, Settings()); }
  bool Setup(HWND dialog, const ResizeRule* rules, size_t count, const Settings& settings);

  // Handles WM_SIZE and WM_GETMINMAXINFO once set up; true when the
  // message was consumed, and its answer is then 0.
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  bool HasGrip() const { return hasGrip_; }

 private:
  void Layout(int32_t width, int32_t height);

  HWND dialog_ = nullptr;
  ResizeModel model_;
  bool hasGrip_ = false;
};

}  // namespace korvelt
