#include "wizard/action_chooser_win.h"

#include <commctrl.h>

#include "ui/dpi_win.h"

namespace korvelt {
namespace {

// Room below the cell for the dropped list, in pixels at 96 dots per inch.
constexpr LONG kDropHeight = 200;

}  // namespace

bool ActionChooser::Open(HWND list, int32_t row, HFONT font, const ChooserEntries& entries) {
  if (window_) return false;
  discard_ = false;
  RECT cell = {};
  cell.top = ActionColumn;
  cell.left = LVIR_BOUNDS;
  if (!SendMessageA(list, LVM_GETSUBITEMRECT, row, reinterpret_cast<LPARAM>(&cell))) return false;
  cell.bottom += ScaleToWindow(list, kDropHeight);
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
  if (!window) return;
  int32_t index = discard_ ? -1 : static_cast<int32_t>(SendMessageA(window, CB_GETCURSEL, 0, 0));
  window_ = nullptr;
  // Its own procedure still serves it while it is destroyed.
  DestroyWindow(window);
  original_ = nullptr;
  target_.CommitChoice(index);
}

void ActionChooser::Leave(bool keep) {
  HWND window = window_;
  // The dropped list closes on the entry it shows.
  int32_t index = static_cast<int32_t>(SendMessageA(window, CB_GETCURSEL, 0, 0));
  if (SendMessageA(window, CB_GETDROPPEDSTATE, 0, 0)) {
    SendMessageA(window, CB_SHOWDROPDOWN, FALSE, 0);
    SendMessageA(window, CB_SETCURSEL, index, 0);
  }
  discard_ = !keep;
  SetFocus(GetParent(window));
}

LRESULT CALLBACK ActionChooser::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<ActionChooser*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  WNDPROC original = self->original_;
  if (self->window_ != window) return CallWindowProcA(original, window, message, wParam, lParam);
  switch (message) {
    case WM_KILLFOCUS:
      self->Commit();
      return 0;
    case WM_GETDLGCODE:
      // Enter, Tab and Escape are the chooser's own while it is open: the
      // sheet would otherwise press Next or Cancel before the choice counts.
      return CallWindowProcA(original, window, message, wParam, lParam) | DLGC_WANTALLKEYS;
    case WM_KEYDOWN:
      if (wParam == VK_RETURN || wParam == VK_TAB || wParam == VK_ESCAPE) {
        self->Leave(wParam != VK_ESCAPE);
        return 0;
      }
      break;
    case WM_CHAR:
      if (wParam == '\r' || wParam == '\t' || wParam == 0x1b) return 0;
      break;
    default:
      break;
  }
  return CallWindowProcA(original, window, message, wParam, lParam);
}

}  // namespace korvelt
