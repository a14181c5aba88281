// The common-controls library: loaded with the window classes a dialog
// needs, and asked whether it is recent enough for the label tips of list
// views.
#pragma once

#include <windows.h>

namespace korvelt {

// True for common controls of version 5.80 or later: list views then show
// a truncated cell's whole text in a tip.
bool CommonControlsAtLeast580();

// The same question of any library: the version its DllGetVersion reports,
// or, when it exports none, the major and minor version of its file
// version. False when the library cannot be loaded or either call fails.
bool LibraryAtLeast580(const char* library);

// The common-controls library, loaded for as long as this lives, with the
// window classes named by `classes` (ICC_* bits) registered.
class CommonControlsLibrary {
 public:
  explicit CommonControlsLibrary(DWORD classes);
  ~CommonControlsLibrary();
  CommonControlsLibrary(const CommonControlsLibrary&) = delete;
  CommonControlsLibrary& operator=(const CommonControlsLibrary&) = delete;

  // Whether the library is loaded and the classes are registered.
  bool Ready() const { return ready_; }
  // The loaded library, for its other functions; null when not loaded.
  HMODULE Module() const { return module_; }

 private:
  HMODULE module_ = nullptr;
  bool ready_ = false;
};

}  // namespace korvelt
