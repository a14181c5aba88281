#include "ui/layout_win.h"

namespace korvelt {
namespace {

LayoutRect FromRect(const RECT& r) { return LayoutRect{r.left, r.top, r.right, r.bottom}; }

bool IsChildWindow(HWND window) { return (GetWindowLongA(window, GWL_STYLE) & WS_CHILD) != 0; }

// A control's rectangle in its dialog's client coordinates.
LayoutRect ClientRectOf(HWND control, HWND dialog) {
  RECT r = {};
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  return FromRect(r);
}

}  // namespace

void PlaceCentred(HWND window) {
  RECT own = {};
  if (!GetWindowRect(window, &own)) return;
  LayoutRect bound;
  LayoutRect target;
  if (IsChildWindow(window)) {
    HWND parent = GetParent(window);
    if (!parent) return;
    RECT client = {};
    GetClientRect(parent, &client);
    bound = FromRect(client);
    // The reference is the parent itself, so its client rectangle in its
    // own client coordinates is the target.
    target = bound;
  } else {
    HWND owner = GetWindow(window, GW_OWNER);
    if (owner && (!IsWindowVisible(owner) || IsIconic(owner))) owner = nullptr;
    RECT work = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    bound = FromRect(work);
    RECT ownerRect = {};
    target = owner && GetWindowRect(owner, &ownerRect) ? FromRect(ownerRect) : bound;
  }
  LayoutPoint at = CentredPosition(FromRect(own), target, bound);
  SetWindowPos(window, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool DialogResizer::Setup(HWND dialog, const ResizeRule* rules, size_t count, const Settings& settings) {
  dialog_ = nullptr;
  hasGrip_ = false;
  LONG style = GetWindowLongA(dialog, GWL_STYLE);
  if ((style & settings.forcedStyle) != settings.forcedStyle) {
    SetWindowLongA(dialog, GWL_STYLE, style | settings.forcedStyle);
  }
  RECT client = {};
  GetClientRect(dialog, &client);
  model_.Reset(LayoutSize{client.right - client.left, client.bottom - client.top});

  if (settings.addGrip && !GetDlgItem(dialog, kGripId)) {
    // Given the whole client rectangle, the size box aligns itself to the
    // bottom-right corner at the system's grip size.
    HWND grip = CreateWindowExA(0, "SCROLLBAR", nullptr,
                                WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | SBS_SIZEBOX | SBS_SIZEGRIP |
                                    SBS_SIZEBOXBOTTOMRIGHTALIGN,
                                client.left, client.top, client.right - client.left, client.bottom - client.top, dialog,
                                reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kGripId)),
                                reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE)), nullptr);
    if (grip) {
      hasGrip_ = true;
      if (!model_.AddAnchor(ResizeRule{kGripId, kGripFlags}, ClientRectOf(grip, dialog))) return false;
    }
  }

  if (settings.enforceMinimum) {
    if (IsChildWindow(dialog)) {
      model_.SetMinimum(model_.Reference());
    } else {
      RECT frame = {};
      GetWindowRect(dialog, &frame);
      model_.SetMinimum(LayoutSize{frame.right - frame.left, frame.bottom - frame.top});
    }
  }

  for (size_t i = 0; i < count; ++i) {
    HWND control = GetDlgItem(dialog, rules[i].controlId);
    LayoutRect recorded = control ? ClientRectOf(control, dialog) : LayoutRect{};
    if (!model_.AddAnchor(rules[i], recorded)) return false;
  }
  dialog_ = dialog;
  return true;
}

bool DialogResizer::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (!dialog_) return false;
  if (message == WM_GETMINMAXINFO) {
    if (model_.HasMinimum()) {
      MINMAXINFO* info = reinterpret_cast<MINMAXINFO*>(lParam);
      info->ptMinTrackSize.x = model_.Minimum().width;
      info->ptMinTrackSize.y = model_.Minimum().height;
    }
    return true;
  }
  if (message != WM_SIZE) return false;
  if (wParam == SIZE_MINIMIZED) return true;
  if (hasGrip_ && (wParam == SIZE_MAXIMIZED || wParam == SIZE_RESTORED)) {
    // A maximised window cannot be sized, so its grip would mislead.
    HWND grip = GetDlgItem(dialog_, kGripId);
    if (grip) ShowWindow(grip, wParam == SIZE_MAXIMIZED ? SW_HIDE : SW_SHOW);
  }
  Layout(static_cast<int16_t>(LOWORD(lParam)), static_cast<int16_t>(HIWORD(lParam)));
  return true;
}

void DialogResizer::Layout(int32_t width, int32_t height) {
  LayoutSize client = model_.LayoutClientSize(LayoutSize{width, height}, IsChildWindow(dialog_));
  // Moving many controls one by one would flicker; draw once at the end.
  bool suspended = IsWindowVisible(dialog_) != FALSE;
  if (suspended) SendMessageA(dialog_, WM_SETREDRAW, FALSE, 0);
  for (size_t i = 0; i < model_.Count(); ++i) {
    const ResizeModel::Anchor& anchor = model_[i];
    HWND control = GetDlgItem(dialog_, anchor.rule.controlId);
    if (!control) continue;
    LayoutRect placed = model_.Place(i, ClientRectOf(control, dialog_), client);
    if (anchor.rule.flags & Repaint) InvalidateRect(control, nullptr, TRUE);
    if (anchor.rule.flags != 0) {
      SetWindowPos(control, nullptr, placed.left, placed.top, placed.Width(), placed.Height(),
                   SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  if (suspended) {
    SendMessageA(dialog_, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(dialog_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  }
}

}  // namespace korvelt
