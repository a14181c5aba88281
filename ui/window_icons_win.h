// The setup's icon on a window's title bar and in the task switcher: the
// icon resource loaded at the sizes the window's screen wants, large and
// small.
#pragma once

#include <windows.h>

namespace korvelt {

class WindowIcons {
 public:
  WindowIcons() = default;
  ~WindowIcons() { Release(); }
  WindowIcons(const WindowIcons&) = delete;
  WindowIcons& operator=(const WindowIcons&) = delete;

  // Gives `window` the program's icon resource `id` with WM_SETICON, large
  // and small, at `window`'s density; icons set before by this object are
  // released once replaced. The icons must outlive the window's use of
  // them, so this object must outlive the window.
  void Set(HWND window, int id);

 private:
  void Release();

  HICON large_ = nullptr;
  HICON small_ = nullptr;
};

}  // namespace korvelt
