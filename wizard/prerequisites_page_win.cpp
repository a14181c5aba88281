#include <shlobj.h>

#include "download/download_failure_win.h"
#include "prereq/decision.h"
#include "resources/resource_ids.h"
#include "ui/dpi_win.h"
#include "ui/messages_win.h"
#include "wizard/pages_win.h"

namespace korvelt {
namespace {

// The folder picker: file-system folders only, not below the domain, the
// resizable picker without its New Folder button.
constexpr UINT kBrowseFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN | BIF_NEWDIALOGSTYLE | BIF_NONEWFOLDERBUTTON;

struct Column {
  const char* title;
  int width;
};
// The widths the columns start with; once the rows are in, they are made
// to fit the texts and the list (FitColumns).
constexpr Column kColumns[] = {{"Name", 100}, {"Status", 400}, {"Action", 80}};

// Pixels at 96 dots per inch: the room the list leaves around a cell's
// text (its own auto-sizing adds as much), and the least a name is shown
// when a status is long.
constexpr int32_t kCellPadding = 12;
constexpr int32_t kMinimumNameWidth = 120;

// Every action a row can show, for the Action column's width.
constexpr PrereqAction kActions[] = {DontInstall, Install, Download, NotFound, Installed, Failed};

int32_t TextWidth(HWND list, const char* text) {
  return static_cast<int32_t>(SendMessageA(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(text)));
}

void CellText(HWND list, int32_t row, int32_t column, char* text, int size) {
  text[0] = '\0';
  LVITEMA item = {};
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = size;
  SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
}

int32_t CellWidth(HWND list, int32_t row, int32_t column) {
  char text[260];
  CellText(list, row, column, text, sizeof text);
  return TextWidth(list, text);
}

int32_t Wider(int32_t a, int32_t b) { return a > b ? a : b; }

PrerequisitesPage* PageOf(HWND page) {
  return reinterpret_cast<PrerequisitesPage*>(GetWindowLongPtrA(page, DWLP_USER));
}

void SetCell(HWND list, int32_t row, int32_t column, const char* text) {
  LVITEMA item = {};
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.iSubItem = column;
  item.pszText = const_cast<char*>(text);
  SendMessageA(list, column == 0 ? LVM_INSERTITEMA : LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

}  // namespace

PrerequisitesPage::PrerequisitesPage(SetupWizard& wizard, PrereqPlan& plan, WizardServices& services)
    : wizard_(wizard), plan_(plan), services_(services), model_(plan, services.downloads), chooser_(*this) {}

INT_PTR CALLBACK PrerequisitesPage::Proc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<PrerequisitesPage*>(reinterpret_cast<PROPSHEETPAGEA*>(lParam)->lParam);
    SetWindowLongPtrA(page, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    self->page_ = page;
    self->SetUp();
    return TRUE;
  }
  PrerequisitesPage* self = PageOf(page);
  if (!self) return FALSE;
  switch (message) {
    case WM_NOTIFY:
      return self->Notify(*reinterpret_cast<const NMHDR*>(lParam));
    case WM_COMMAND:
      if (LOWORD(wParam) != IDC_BROWSE || HIWORD(wParam) != BN_CLICKED) return FALSE;
      self->BrowseForFolder();
      return TRUE;
    case WM_DPICHANGED_AFTERPARENT:
      // The sheet has scaled the page and its controls to the new screen;
      // the widths the code computed follow. An open chooser would stay
      // at the old size over the cell, so its choice is taken first.
      self->chooser_.Commit();
      self->FitColumns();
      return TRUE;
    default:
      return FALSE;
  }
}

void PrerequisitesPage::SetUp() {
  SetDlgItemTextA(page_, IDC_DOWNLOAD_FOLDER, plan_.downloads.folder.c_str());
  HWND list = GetDlgItem(page_, IDC_PREREQ_LIST);
  LPARAM styles = SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) | LVS_EX_FULLROWSELECT;
  SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, styles);

  for (int i = 0; i < 3; ++i) {
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = ScaleToWindow(list, kColumns[i].width);
    column.pszText = const_cast<char*>(kColumns[i].title);
    column.iSubItem = i;
    SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
  }
  // Before any row is in, so that no scroll bar takes its share.
  RECT client = {};
  GetClientRect(list, &client);
  LRESULT others = SendMessageA(list, LVM_GETCOLUMNWIDTH, NameColumn, 0) + SendMessageA(list, LVM_GETCOLUMNWIDTH, ActionColumn, 0);
  SendMessageA(list, LVM_SETCOLUMNWIDTH, StatusColumn, client.right - client.left - others);

  const PrerequisiteList& prerequisites = *plan_.prerequisites;
  for (int32_t row = 0; row < model_.rowCount(); ++row) {
    SetCell(list, row, NameColumn, prerequisites.Prerequisites[row].DisplayName.c_str());
  }
  // A row that has the focus shows where the keys act.
  LVITEMA first = {};
  first.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  first.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&first));
  listProc_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ListProc)));
  MakeTip();
  ShowStatus();
  Refresh();
  FitColumns();
}

// Once the rows and the scroll bar they may need are in: Action and
// Status as wide as their texts need, Name the rest of the client area.
void PrerequisitesPage::FitColumns() {
  HWND list = GetDlgItem(page_, IDC_PREREQ_LIST);
  int32_t padding = ScaleToWindow(list, kCellPadding);
  int32_t statusNeed = TextWidth(list, kColumns[StatusColumn].title);
  for (int32_t row = 0; row < model_.rowCount(); ++row) statusNeed = Wider(statusNeed, CellWidth(list, row, StatusColumn));
  int32_t actionNeed = TextWidth(list, kColumns[ActionColumn].title);
  for (PrereqAction action : kActions) actionNeed = Wider(actionNeed, TextWidth(list, ActionText(action)));
  // The chooser over the cell shows its entry beside its button.
  actionNeed += SystemMetricFor(list, SM_CXVSCROLL);
  RECT client = {};
  GetClientRect(list, &client);
  ColumnWidths widths = korvelt::FitColumns(client.right - client.left, statusNeed + padding, actionNeed + padding,
                                            ScaleToWindow(list, kMinimumNameWidth));
  SendMessageA(list, LVM_SETCOLUMNWIDTH, ActionColumn, widths.action);
  SendMessageA(list, LVM_SETCOLUMNWIDTH, StatusColumn, widths.status);
  SendMessageA(list, LVM_SETCOLUMNWIDTH, NameColumn, widths.name);
}

void PrerequisitesPage::ShowStatus() {
  HWND list = GetDlgItem(page_, IDC_PREREQ_LIST);
  for (int32_t row = 0; row < model_.rowCount(); ++row) {
    String status;
    // Without memory for it the cell stays as it was.
    if (StatusText(*plan_.prerequisites, row, &status)) SetCell(list, row, StatusColumn, status.c_str());
  }
}

void PrerequisitesPage::Refresh() {
  model_.Refresh();
  Show();
}

// Every Action cell from the actions, then the hint line, the buttons and
// Browse from the step.
void PrerequisitesPage::Show() {
  ShowActions();
  ShowStep();
  EnableWindow(GetDlgItem(page_, IDC_BROWSE), model_.browseEnabled());
}

void PrerequisitesPage::ShowActions() {
  HWND list = GetDlgItem(page_, IDC_PREREQ_LIST);
  for (int32_t row = 0; row < model_.rowCount(); ++row) SetCell(list, row, ActionColumn, ActionText(plan_.actions[row]));
}

void PrerequisitesPage::ShowStep() {
  StepView view = ViewOfStep(model_.step());
  SetDlgItemTextA(page_, IDC_STEP_HINT, view.hint);
  ApplyButtons(GetParent(page_), view.buttons);
}

INT_PTR PrerequisitesPage::Notify(const NMHDR& header) {
  if (header.idFrom == IDC_PREREQ_LIST && header.code == static_cast<UINT>(NM_CLICK)) {
    const auto& click = reinterpret_cast<const NMITEMACTIVATE&>(header);
    OpenChooser(click.iItem, click.iSubItem, false);
    return FALSE;
  }
  HWND sheet = GetParent(page_);
  if (header.hwndFrom != page_ && header.hwndFrom != sheet) return FALSE;
  switch (header.code) {
    case PSN_SETACTIVE:
      ShowStep();
      wizard_.PostTitle(sheet);
      SetWindowTextA(sheet, wizard_.title().c_str());
      FocusControl(sheet, GetDlgItem(page_, IDC_PREREQ_LIST));
      return Reply(page_, 0);
    case PSN_WIZBACK:
      chooser_.Commit();
      return Reply(page_, 0);
    case PSN_WIZNEXT:
      // A choice still open counts before the step is read: Alt+N or Enter
      // reach the sheet without taking the focus from the chooser.
      chooser_.Commit();
      // This is the last page: Next runs the step and the sheet stays.
      switch (WorkOfStep(model_.step())) {
        case NextWork::Downloads:
          RunDownloadStep();
          break;
        case NextWork::Installs:
          RunInstallStep();
          break;
        case NextWork::Nothing:
          break;
      }
      return Reply(page_, -1);
    case PSN_WIZFINISH:
      chooser_.Commit();
      wizard_.cancelled = false;
      return Reply(page_, 0);
    default:
      // Leaving, the cancel query, apply, reset: all allowed.
      return Reply(page_, 0);
  }
}

void PrerequisitesPage::RunDownloadStep() {
  int32_t code = DownloadPrerequisites(plan_, services_.downloads, services_.downloadDialog);
  // A failed run keeps every Download, so that Next continues the files.
  if (model_.EndDownloadRun(code, !plan_.downloads.items.Empty())) ReportDownloadFailure(code, page_);
  Show();
  // The download window took the focus with it.
  FocusDefaultButton(GetParent(page_));
}

void PrerequisitesPage::RunInstallStep() {
  InstallPrerequisites(plan_, services_.installs, services_.installDialog);
  model_.EndInstallRun();
  // What the detection found after the programs.
  ShowStatus();
  Show();
  // The installation window took the focus with it, and Next may be off.
  FocusDefaultButton(GetParent(page_));
  // A program has started a restart: nothing more is to run, and the sheet
  // closes as finished, which leaves the main package to the run after the
  // restart.
  if (plan_.restart == RestartNeed::Started) {
    wizard_.cancelled = false;
    PostMessageA(GetParent(page_), PSM_PRESSBUTTON, PSBTN_FINISH, 0);
  }
}

void PrerequisitesPage::BrowseForFolder() {
  String title;
  if (!LoadResourceText(GetModuleHandleA(nullptr), IDS_SELECT_DOWNLOAD_FOLDER, &title)) return;
  char displayName[MAX_PATH] = "";
  BROWSEINFOA browse = {};
  browse.hwndOwner = page_;
  browse.pidlRoot = nullptr;
  browse.pszDisplayName = displayName;
  browse.lpszTitle = title.c_str();
  browse.ulFlags = kBrowseFlags;
  LPITEMIDLIST item = SHBrowseForFolderA(&browse);
  if (!item) return;
  char path[MAX_PATH] = "";
  bool changed = SHGetPathFromIDListA(item, path) && model_.ChangeFolder(path);
  // The item is the shell allocator's.
  CoTaskMemFree(item);
  if (!changed) return;
  SetDlgItemTextA(page_, IDC_DOWNLOAD_FOLDER, plan_.downloads.folder.c_str());
  Show();
}

void PrerequisitesPage::OpenChooser(int32_t row, int32_t column, bool dropped) {
  HWND list = GetDlgItem(page_, IDC_PREREQ_LIST);
  int32_t rows = static_cast<int32_t>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  ChooserEntries entries;
  if (!model_.OpenChooser(row, column, rows, &entries)) return;
  HFONT font = reinterpret_cast<HFONT>(SendMessageA(page_, WM_GETFONT, 0, 0));
  if (chooser_.Open(list, row, font, entries) && dropped) SendMessageA(chooser_.window(), CB_SHOWDROPDOWN, TRUE, 0);
}

// Space, F2 and F4 open the chooser on the selected row's Action cell, as
// a click on it would; Alt+Down and F4 drop its list too, as they do in
// any drop-down list.
bool PrerequisitesPage::OpenChooserByKey(UINT message, WPARAM key) {
  bool alt = message == WM_SYSKEYDOWN;
  if (alt ? key != VK_DOWN : key != VK_SPACE && key != VK_F2 && key != VK_F4) return false;
  if (!alt && (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_SHIFT) < 0)) return false;
  HWND list = GetDlgItem(page_, IDC_PREREQ_LIST);
  int32_t row = static_cast<int32_t>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  if (row < 0) return false;
  SendMessageA(list, LVM_ENSUREVISIBLE, row, FALSE);
  OpenChooser(row, ActionColumn, alt || key == VK_F4);
  return true;
}

// The list's own label tips are not on every system's list view; this
// tip is, and it shows a cut cell's whole text over the cell while the
// pointer is on it.
void PrerequisitesPage::MakeTip() {
  HWND list = GetDlgItem(page_, IDC_PREREQ_LIST);
  tip_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, 0, 0, 0, 0,
                         page_, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (!tip_) return;
  TOOLINFOA tool = {};
  tool.cbSize = TTTOOLINFOA_V2_SIZE;
  // The pointer under the tip still reaches the list.
  tool.uFlags = TTF_IDISHWND | TTF_TRACK | TTF_ABSOLUTE | TTF_TRANSPARENT;
  tool.hwnd = page_;
  tool.uId = reinterpret_cast<UINT_PTR>(list);
  tool.lpszText = tipText_;
  SendMessageA(tip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageA(tip_, WM_SETFONT, SendMessageA(page_, WM_GETFONT, 0, 0), FALSE);
}

void PrerequisitesPage::ShowTip(LPARAM at) {
  HWND list = GetDlgItem(page_, IDC_PREREQ_LIST);
  LVHITTESTINFO hit = {};
  hit.pt.x = static_cast<int16_t>(LOWORD(at));
  hit.pt.y = static_cast<int16_t>(HIWORD(at));
  bool onCell = SendMessageA(list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)) >= 0 && hit.iItem >= 0;
  if (onCell && hit.iItem == tipRow_ && hit.iSubItem == tipColumn_) return;
  HideTip();
  if (!onCell || !tip_) return;
  CellText(list, hit.iItem, hit.iSubItem, tipText_, sizeof tipText_);
  // A cell that shows its whole text needs no tip.
  if (TextWidth(list, tipText_) + ScaleToWindow(list, kCellPadding) <= SendMessageA(list, LVM_GETCOLUMNWIDTH, hit.iSubItem, 0)) {
    return;
  }
  tipRow_ = hit.iItem;
  tipColumn_ = hit.iSubItem;
  TOOLINFOA tool = {};
  tool.cbSize = TTTOOLINFOA_V2_SIZE;
  tool.hwnd = page_;
  tool.uId = reinterpret_cast<UINT_PTR>(list);
  tool.lpszText = tipText_;
  SendMessageA(tip_, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
  RECT cell = {};
  cell.top = hit.iSubItem;
  cell.left = LVIR_LABEL;
  SendMessageA(list, LVM_GETSUBITEMRECT, hit.iItem, reinterpret_cast<LPARAM>(&cell));
  MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&cell), 2);
  SendMessageA(tip_, TTM_TRACKPOSITION, 0, MAKELPARAM(cell.left, cell.top));
  SendMessageA(tip_, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
  // The tip goes when the pointer leaves the list.
  TRACKMOUSEEVENT leave = {sizeof leave, TME_LEAVE, list, 0};
  TrackMouseEvent(&leave);
}

void PrerequisitesPage::HideTip() {
  if (tipRow_ < 0) return;
  tipRow_ = -1;
  tipColumn_ = -1;
  TOOLINFOA tool = {};
  tool.cbSize = TTTOOLINFOA_V2_SIZE;
  tool.hwnd = page_;
  tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(page_, IDC_PREREQ_LIST));
  SendMessageA(tip_, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
}

LRESULT CALLBACK PrerequisitesPage::ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
  PrerequisitesPage* self = PageOf(GetParent(list));
  if (message == WM_MOUSEMOVE) self->ShowTip(lParam);
  // The rows move under a tip that stayed.
  if (message == WM_MOUSELEAVE || message == WM_MOUSEWHEEL || message == WM_VSCROLL || message == WM_KEYDOWN) {
    self->HideTip();
  }
  if ((message == WM_KEYDOWN || message == WM_SYSKEYDOWN) && self->OpenChooserByKey(message, wParam)) {
    // The system still learns that a key came with Alt, or Alt's release
    // would open the window menu over the chooser.
    if (message == WM_SYSKEYDOWN) DefWindowProcA(list, message, wParam, lParam);
    return 0;
  }
  // The space that opened the chooser is no search for a row.
  if (message == WM_CHAR && wParam == ' ') return 0;
  return CallWindowProcA(self->listProc_, list, message, wParam, lParam);
}

void PrerequisitesPage::CommitChoice(int32_t index) {
  model_.CommitChoice(index);
  Show();
}

}  // namespace korvelt
