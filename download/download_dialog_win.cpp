#include "download/download_dialog_win.h"

#include <windows.h>
#include <commctrl.h>

#include "download/download_dialog.h"
#include "resources/resource_ids.h"
#include "ui/common_controls_win.h"
#include "ui/dpi_win.h"
#include "ui/layout_win.h"
#include "ui/messages_win.h"
#include "ui/window_icons_win.h"

namespace korvelt {
namespace {

// The list takes all growth; the bars widen; the rest keeps its distance
// from the bottom edge, and Cancel from the right edge too.
const ResizeRule kResizeRules[] = {
    {IDC_DOWNLOAD_LIST, StretchX | StretchY},
    {IDC_CURRENT_PROGRESS, StretchX | ShiftY},
    {IDC_TOTAL_PROGRESS, StretchX | ShiftY},
    {IDC_CURRENT_LABEL, ShiftY},
    {IDC_TOTAL_LABEL, ShiftY},
    {IDC_PAUSE_RESUME, ShiftY},
    {IDCANCEL, ShiftX | ShiftY},
    {IDC_DOWNLOAD_SPEED, ShiftY},
};

constexpr int kUrlColumnWidth = 100;
constexpr int kStatusColumnWidth = 50;

const char kWrongSizeText[] = "Wrong file size. The downloaded file cannot be found or is corrupt.";

// One open dialog: its window carries out what the model tells it.
class DownloadWindow final : public DownloadDialogView {
 public:
  DownloadWindow(DownloadBatch& batch, DownloadServices& services) : model_(batch, *this), services_(services) {}

  void Initialise(HWND dialog);
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
  int32_t EndCode() const { return model_.EndCode(); }

  void AddRow(const char* url, const char* status) override;
  void SetRowStatus(size_t row, const char* text) override;
  void SetCurrentRange(int32_t maximum) override { Send(IDC_CURRENT_PROGRESS, PBM_SETRANGE32, 0, maximum); }
  void SetCurrentPosition(int32_t position) override { Send(IDC_CURRENT_PROGRESS, PBM_SETPOS, position, 0); }
  void SetTotalRange(int32_t maximum) override { Send(IDC_TOTAL_PROGRESS, PBM_SETRANGE32, 0, maximum); }
  void SetTotalPosition(int32_t position) override { Send(IDC_TOTAL_PROGRESS, PBM_SETPOS, position, 0); }
  void SetSpeed(const char* text) override { SetDlgItemTextA(dialog_, IDC_DOWNLOAD_SPEED, text); }
  void SetPauseButton(const char* text) override { SetDlgItemTextA(dialog_, IDC_PAUSE_RESUME, text); }
  void ShowWrongSize() override { ShowStringMessage(dialog_, kWrongSizeText, nullptr, MB_ICONERROR | MB_OK); }
  void ShowWrongContent(const char* name) override;
  void Close() override { EndDialog(dialog_, 0); }

 private:
  LRESULT Send(int control, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendDlgItemMessageA(dialog_, control, message, wParam, lParam);
  }
  void AddColumn(int index, const char* title, int width);

  DownloadDialogModel model_;
  void CoalesceProgress(WPARAM* bytes, LPARAM* speed);

  DownloadServices& services_;
  DialogResizer resizer_;
  WindowIcons icons_;
  HWND dialog_ = nullptr;
};

void DownloadWindow::AddColumn(int index, const char* title, int width) {
  LVCOLUMNA column = {};
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
  column.fmt = LVCFMT_LEFT;
  column.cx = ScaleToWindow(dialog_, width);
  column.pszText = const_cast<char*>(title);
  Send(IDC_DOWNLOAD_LIST, LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&column));
}

void DownloadWindow::AddRow(const char* url, const char* status) {
  LVITEMA item = {};
  item.mask = LVIF_TEXT;
  item.iItem = static_cast<int>(Send(IDC_DOWNLOAD_LIST, LVM_GETITEMCOUNT, 0, 0));
  item.pszText = const_cast<char*>(url);
  int row = static_cast<int>(Send(IDC_DOWNLOAD_LIST, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  if (row >= 0) SetRowStatus(static_cast<size_t>(row), status);
}

void DownloadWindow::SetRowStatus(size_t row, const char* text) {
  LVITEMA item = {};
  item.iSubItem = 1;
  item.pszText = const_cast<char*>(text);
  Send(IDC_DOWNLOAD_LIST, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
}

void DownloadWindow::ShowWrongContent(const char* name) {
  String text;
  if (!text.Assign("The file downloaded for ") || !text.Append(name) ||
      !text.Append(" is not the one this setup expects. It may have been changed on the server or on its way, "
                   "and it will not be used.")) {
    return;
  }
  ShowStringMessage(dialog_, text.c_str(), nullptr, MB_ICONERROR | MB_OK);
}

void DownloadWindow::Initialise(HWND dialog) {
  dialog_ = dialog;
  icons_.Set(dialog, IDI_KORVELT);
  DWORD styles = LVS_EX_FULLROWSELECT | (CommonControlsAtLeast580() ? LVS_EX_LABELTIP : 0);
  Send(IDC_DOWNLOAD_LIST, LVM_SETEXTENDEDLISTVIEWSTYLE, styles, styles);
  AddColumn(0, "URL", kUrlColumnWidth);
  AddColumn(1, "Status", kStatusColumnWidth);
  model_.Fill();
  PlaceCentred(dialog);
  resizer_.Setup(dialog, kResizeRules, sizeof kResizeRules / sizeof kResizeRules[0]);
  // The two columns fill the list, the rows and their scroll bar already in.
  RECT client = {};
  GetClientRect(GetDlgItem(dialog, IDC_DOWNLOAD_LIST), &client);
  LRESULT statusWidth = Send(IDC_DOWNLOAD_LIST, LVM_GETCOLUMNWIDTH, 1, 0);
  Send(IDC_DOWNLOAD_LIST, LVM_SETCOLUMNWIDTH, 0, client.right - client.left - statusWidth);
  model_.Start(services_, reinterpret_cast<WindowId>(dialog));
}

INT_PTR DownloadWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  if (resizer_.HandleMessage(message, wParam, lParam)) {
    SetWindowLongPtrA(dialog_, DWLP_MSGRESULT, 0);
    return TRUE;
  }
  if (message == WM_COMMAND) {
    switch (LOWORD(wParam)) {
      case IDC_PAUSE_RESUME:
        model_.TogglePause();
        return TRUE;
      case IDCANCEL:
        // Also the Escape key and the close box.
        model_.Cancel();
        return TRUE;
      default:
        return FALSE;
    }
  }
  if (message == DL_PROGRESS) CoalesceProgress(&wParam, &lParam);
  return model_.HandleWorkerMessage(message, wParam, lParam);
}

// The worker reports every chunk, and posted messages come before input
// and painting: a fast download that queued reports faster than the
// dialog redraws them would leave Pause and Cancel unanswered and the
// window unpainted until its end. So the reports that stand next in the
// queue are taken at once: their bytes added up, the last one's speed
// kept, and the window redrawn once for them all.
void DownloadWindow::CoalesceProgress(WPARAM* bytes, LPARAM* speed) {
  MSG next;
  while (PeekMessageA(&next, dialog_, DL_FILE_START, DL_SIZE_REJECTED, PM_NOREMOVE) && next.message == DL_PROGRESS) {
    PeekMessageA(&next, dialog_, DL_PROGRESS, DL_PROGRESS, PM_REMOVE);
    *bytes += next.wParam;
    *speed = next.lParam;
  }
}

// The dialog's parameter is its DownloadWindow.
INT_PTR CALLBACK DownloadDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* window = reinterpret_cast<DownloadWindow*>(lParam);
    SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    window->Initialise(dialog);
    return TRUE;
  }
  auto* window = reinterpret_cast<DownloadWindow*>(GetWindowLongPtrA(dialog, DWLP_USER));
  return window ? window->Handle(message, wParam, lParam) : FALSE;
}

}  // namespace

int32_t Win32DownloadDialog::Show(DownloadBatch& batch, DownloadServices& services) {
  CommonControlsLibrary controls(ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS);
  DownloadWindow window(batch, services);
  INT_PTR shown = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_DOWNLOAD), GetActiveWindow(),
                                  DownloadDialogProc, reinterpret_cast<LPARAM>(&window));
  // Without a window no worker was started.
  if (shown == -1) return DownloadNotStarted;
  return window.EndCode();
}

}  // namespace korvelt
