// The status window: a small modeless window with one line of text that the
// run shows while it works. Nothing dispatches its messages; the caller sets
// its caption with SetWindowTextA and destroys it with DestroyWindow.
#pragma once

#include <windows.h>

namespace korvelt {

// Creates and shows the window, unowned and centred on the work area, with
// the text "Preparing..."; null when it cannot be created.
HWND OpenStatusWindow();

// Paints the whole window, frame and caption included, at once: nothing
// dispatches its messages while the run works.
void RepaintStatusWindow(HWND window);

// Replaces the window's line of text.
bool SetStatusText(HWND window, const char* text);

}  // namespace korvelt
