#include "install/install_dialog_win.h"

#include "resources/resource_ids.h"
#include "ui/layout_win.h"
#include "ui/window_icons_win.h"

namespace korvelt {
namespace {

// The installer thread could not be made: the programs run here, the
// label naming each, each checked as the thread checks it, and the dialog
// closes after the last (or after one that started a restart).
void RunHere(HWND dialog, InstallRun& run) {
  for (size_t i = 0; i < run.list->Count(); ++i) {
    SetDlgItemTextA(dialog, IDC_INSTALLING_NAME, (*run.list)[i].displayName.c_str());
    UpdateWindow(dialog);
    if (!RunInstallEntry(run, i)) break;
  }
  run.ran = true;
  EndDialog(dialog, 0);
}

// What the dialog works with: the run, and the icons it shows while it is up.
struct InstallWindow {
  InstallRun* run;
  WindowIcons icons;
};

// The dialog's parameter is its InstallWindow.
INT_PTR CALLBACK InstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* window = reinterpret_cast<InstallWindow*>(GetWindowLongPtrA(dialog, DWLP_USER));
  InstallRun* run = window ? window->run : nullptr;
  switch (message) {
    case WM_INITDIALOG:
      window = reinterpret_cast<InstallWindow*>(lParam);
      run = window->run;
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      window->icons.Set(dialog, IDI_KORVELT);
      PlaceCentred(dialog);
      if (!StartInstaller(*run, reinterpret_cast<WindowId>(dialog))) {
        ShowWindow(dialog, SW_SHOW);
        RunHere(dialog, *run);
      }
      return TRUE;
    case IN_STARTING:
      if (run && wParam < run->list->Count()) {
        SetDlgItemTextA(dialog, IDC_INSTALLING_NAME, (*run->list)[wParam].displayName.c_str());
      }
      return TRUE;
    case IN_ALL_DONE:
      EndDialog(dialog, 0);
      return TRUE;
    case WM_COMMAND:
      // Cancel, the Escape key and the close box: the programs cannot be
      // stopped, so the dialog stays.
      return LOWORD(wParam) == IDCANCEL;
    default:
      return FALSE;
  }
}

}  // namespace

bool Win32InstallDialog::Show(InstallRun& run) {
  InstallWindow window{&run, {}};
  INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_INSTALLING), GetActiveWindow(),
                                   InstallDialogProc, reinterpret_cast<LPARAM>(&window));
  return result != -1;
}

}  // namespace korvelt
