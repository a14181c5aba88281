#include "wizard/action_chooser_win.h"

#include <commctrl.h>

namespace korvelt {
namespace {

// Room below the cell for the dropped list.
constexpr LONG kDropHeight = 200;

}  // namespace

bool ActionChooser::Open(HWND list, int32_t row, HFONT font, const ChooserEntries& entries) {
  if (window_) return false;
  RECT cell = {};
  cell.top = ActionColumn;
  cell.left = LVIR_BOUNDS;
  if (!SendMessageA(list, LVM_GETSUBITEMRECT, row, reinterpret_cast<LPARAM>(&cell))) return false;
  cell.bottom += kDropHeight;
  HWND window = CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWNLIST | CBS_AUTOHSCROLL,
                                cell.left, cell.top, cell.right - cell.left, cell.bottom - cell.top, list, nullptr,
                                reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(list, GWLP_HINSTANCE)), nullptr);
  if (!window) return false;
  SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  for (const char* text : entries.texts) SendMessageA(window, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  SendMessageA(window, CB_SETCURSEL, entries.selected, 0);
  // The handling is attached before the focus arrives, so that no loss of
  // focus can pass unseen.
  window_ = window;
  SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  original_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Proc)));
  SetFocus(window);
  return true;
}

void ActionChooser::Commit() {
  HWND window = window_;
  int32_t index = static_cast<int32_t>(SendMessageA(window, CB_GETCURSEL, 0, 0));
  window_ = nullptr;
  // Its own procedure still serves it while it is destroyed.
  DestroyWindow(window);
  original_ = nullptr;
  target_.CommitChoice(index);
}

LRESULT CALLBACK ActionChooser::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<ActionChooser*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  WNDPROC original = self->original_;
  if (message == WM_KILLFOCUS && self->window_ == window) {
    self->Commit();
    return 0;
  }
  return CallWindowProcA(original, window, message, wParam, lParam);
}

}  // namespace korvelt
