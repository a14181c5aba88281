#include "ui/status_window_win.h"

#include "resources/resource_ids.h"
#include "ui/layout_win.h"

namespace korvelt {
namespace {

INT_PTR CALLBACK StatusDialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message != WM_INITDIALOG) return FALSE;
  PlaceCentred(dialog);
  // TRUE lets the system set the initial focus.
  return TRUE;
}

}  // namespace

// The run dispatches no messages while the window is up, so the window and
// each new text are painted at once rather than when a message loop asks.
HWND OpenStatusWindow() {
  HWND window =
      CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_STATUS), nullptr, StatusDialogProc, 0);
  if (window) UpdateWindow(window);
  return window;
}

void RepaintStatusWindow(HWND window) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

bool SetStatusText(HWND window, const char* text) {
  HWND line = GetDlgItem(window, IDC_STATUS_TEXT);
  if (!line || !SetWindowTextA(line, text)) return false;
  UpdateWindow(line);
  return true;
}

}  // namespace korvelt
