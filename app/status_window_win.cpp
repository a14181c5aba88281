#include "app/status_window_win.h"

#include "resources/resource_ids.h"
#include "wizard/layout_win.h"

namespace korvelt {
namespace {

INT_PTR CALLBACK StatusDialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message != WM_INITDIALOG) return FALSE;
  PlaceCentred(dialog);
  // TRUE lets the system set the initial focus.
  return TRUE;
}

}  // namespace

HWND OpenStatusWindow() {
  return CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_STATUS), nullptr, StatusDialogProc, 0);
}

bool SetStatusText(HWND window, const char* text) {
  HWND line = GetDlgItem(window, IDC_STATUS_TEXT);
  return line && SetWindowTextA(line, text);
}

}  // namespace korvelt
