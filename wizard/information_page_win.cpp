#include <richedit.h>

#include "resources/resource_ids.h"
#include "ui/layout_win.h"
#include "wizard/pages_win.h"

namespace korvelt {
namespace {

// The read step of the stream: as many bytes as the control asks for, or
// what is left.
DWORD CALLBACK ReadStep(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* read) {
  *read = ReadInfoText(*reinterpret_cast<InfoTextReader*>(cookie), buffer, wanted);
  return 0;
}

// The stored document; it lives as long as the module.
InfoTextReader StoredDocument() {
  InfoTextReader reader;
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(IDR_INFORMATION_TEXT), RT_RCDATA);
  HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
  const void* text = loaded ? LockResource(loaded) : nullptr;
  if (!text) return reader;
  reader.text = static_cast<const char*>(text);
  reader.length = static_cast<int32_t>(SizeofResource(module, resource));
  return reader;
}

InformationPage* PageOf(HWND page) { return reinterpret_cast<InformationPage*>(GetWindowLongPtrA(page, DWLP_USER)); }

}  // namespace

INT_PTR CALLBACK InformationPage::Proc(HWND page, UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<InformationPage*>(reinterpret_cast<PROPSHEETPAGEA*>(lParam)->lParam);
    SetWindowLongPtrA(page, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    self->Create(page);
    return TRUE;
  }
  InformationPage* self = PageOf(page);
  if (self && message == WM_NOTIFY) return self->Notify(page, *reinterpret_cast<const NMHDR*>(lParam));
  // On a screen of another density the sheet's icons are loaded again at
  // the sizes that screen wants.
  if (self && message == WM_DPICHANGED_AFTERPARENT && self->activated_) {
    self->icons_.Set(GetParent(page), IDI_KORVELT);
    return TRUE;
  }
  return FALSE;
}

void InformationPage::Create(HWND page) {
  HWND text = GetDlgItem(page, IDC_INFORMATION_TEXT);
  SendMessageA(text, EM_SETREADONLY, TRUE, 0);
  reader_ = StoredDocument();
  EDITSTREAM stream = {};
  stream.dwCookie = reinterpret_cast<DWORD_PTR>(&reader_);
  stream.dwError = 0;
  stream.pfnCallback = ReadStep;
  SendMessageA(text, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
  textProc_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(text, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(TextProc)));
  ApplyButtons(GetParent(page), InformationCreated(wizard_.prerequisites.model().mandatoryCount()));
}

INT_PTR InformationPage::Notify(HWND page, const NMHDR& header) {
  HWND sheet = GetParent(page);
  if (header.hwndFrom != page && header.hwndFrom != sheet) return FALSE;
  switch (header.code) {
    case PSN_SETACTIVE:
      if (!activated_) {
        activated_ = true;
        icons_.Set(sheet, IDI_KORVELT);
        PlaceCentred(sheet);
      }
      ApplyButtons(sheet, InformationActivated());
      wizard_.PostTitle(sheet);
      FocusDefaultButton(sheet);
      return Reply(page, 0);
    case PSN_WIZNEXT:
      ApplyButtons(sheet, InformationNext());
      return Reply(page, 0);
    case PSN_WIZFINISH:
      wizard_.cancelled = false;
      return Reply(page, 0);
    default:
      // Leaving, going back, the cancel query, apply, reset: all allowed.
      return Reply(page, 0);
  }
}

// The text is read with the keys as with the scroll bar: the arrows and
// the page keys move through it, while Tab, Enter and Escape stay the
// sheet's (Enter is Next, as on every page). The focus starts at the top
// of the text, nothing selected, with the caret there to show it.
LRESULT CALLBACK InformationPage::TextProc(HWND text, UINT message, WPARAM wParam, LPARAM lParam) {
  InformationPage* self = PageOf(GetParent(text));
  if (message == WM_GETDLGCODE) return DLGC_WANTARROWS;
  if (message == WM_SETFOCUS) {
    SendMessageA(text, EM_SETSEL, 0, 0);
    LRESULT result = CallWindowProcA(self->textProc_, text, message, wParam, lParam);
    SendMessageA(text, EM_SCROLLCARET, 0, 0);
    return result;
  }
  return CallWindowProcA(self->textProc_, text, message, wParam, lParam);
}

}  // namespace korvelt
