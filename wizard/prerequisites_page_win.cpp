#include <shlobj.h>

#include "download/download_failure_win.h"
#include "prereq/decision.h"
#include "resources/resource_ids.h"
#include "ui/common_controls_win.h"
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
// The Status column's width is made to fill the list once all are in.
constexpr Column kColumns[] = {{"Name", 100}, {"Status", 400}, {"Action", 80}};

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
    default:
      return FALSE;
  }
}

void PrerequisitesPage::SetUp() {
  SetDlgItemTextA(page_, IDC_DOWNLOAD_FOLDER, plan_.downloads.folder.c_str());
  HWND list = GetDlgItem(page_, IDC_PREREQ_LIST);
  LPARAM styles = SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) | LVS_EX_FULLROWSELECT;
  if (CommonControlsAtLeast580()) styles |= LVS_EX_LABELTIP;
  SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, styles);

  for (int i = 0; i < 3; ++i) {
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = kColumns[i].width;
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
  ShowStatus();
  Refresh();
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
    OpenChooser(reinterpret_cast<const NMITEMACTIVATE&>(header));
    return FALSE;
  }
  HWND sheet = GetParent(page_);
  if (header.hwndFrom != page_ && header.hwndFrom != sheet) return FALSE;
  switch (header.code) {
    case PSN_SETACTIVE:
      ShowStep();
      wizard_.PostTitle(sheet);
      SetWindowTextA(sheet, wizard_.title().c_str());
      return Reply(page_, 0);
    case PSN_WIZNEXT:
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
      wizard_.cancelled = false;
      return Reply(page_, 0);
    default:
      // Leaving, going back, the cancel query, apply, reset: all allowed.
      return Reply(page_, 0);
  }
}

void PrerequisitesPage::RunDownloadStep() {
  int32_t code = DownloadPrerequisites(plan_, services_.downloads, services_.downloadDialog);
  // A failed run keeps every Download, so that Next continues the files.
  if (model_.EndDownloadRun(code, !plan_.downloads.items.Empty())) ReportDownloadFailure(code, page_);
  Show();
}

void PrerequisitesPage::RunInstallStep() {
  InstallPrerequisites(plan_, services_.installs, services_.installDialog);
  model_.EndInstallRun();
  // What the detection found after the programs.
  ShowStatus();
  Show();
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

void PrerequisitesPage::OpenChooser(const NMITEMACTIVATE& click) {
  HWND list = GetDlgItem(page_, IDC_PREREQ_LIST);
  int32_t rows = static_cast<int32_t>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  ChooserEntries entries;
  if (!model_.OpenChooser(click.iItem, click.iSubItem, rows, &entries)) return;
  HFONT font = reinterpret_cast<HFONT>(SendMessageA(page_, WM_GETFONT, 0, 0));
  chooser_.Open(list, click.iItem, font, entries);
}

void PrerequisitesPage::CommitChoice(int32_t index) {
  model_.CommitChoice(index);
  Show();
}

}  // namespace korvelt
