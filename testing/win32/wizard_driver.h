// Runs the real wizard over a setup made for the test and drives it from a
// second thread as a user would: buttons clicked, cells of the list
// clicked, entries of the chooser picked, the folder picker and message
// boxes answered. The driver writes what it sees into a log that the test
// thread checks once the wizard has returned; GoogleTest is used from one
// thread only.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <functional>
#include <string>
#include <vector>

#include "install/install_dialog_win.h"
#include "payload/archive.h"
#include "platform/clock_win.h"
#include "platform/files_win.h"
#include "platform/http_win.h"
#include "platform/message_poster_win.h"
#include "platform/system_library_win.h"
#include "platform/threads_win.h"
#include "prereq/decision.h"
#include "prereq/download_name.h"
#include "resources/resource_ids.h"
#include "testing/payload_builder.h"
#include "testing/win32/scratch_folder.h"
#include "testing/win32/ui_helpers.h"
#include "wizard/pages_win.h"
#include "wizard/wizard_win.h"

namespace korvelt::testing {

// A window on the sheet's thread that sets an event for each WM_APP it is
// posted. Posted messages are handled in order, so once it has seen one,
// everything posted to the thread before it has been handled, or has
// opened a modal window.
class ThreadMarker {
 public:
  ThreadMarker() {
    event_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = Proc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "KorveltThreadMarker";
    RegisterClassA(&windowClass);
    window_ = CreateWindowExA(0, "KorveltThreadMarker", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(event_));
  }
  ~ThreadMarker() {
    DestroyWindow(window_);
    CloseHandle(event_);
  }
  ThreadMarker(const ThreadMarker&) = delete;
  ThreadMarker& operator=(const ThreadMarker&) = delete;

  // Waits until the thread has handled everything posted to it so far.
  bool Sync() {
    if (!PostMessageA(window_, WM_APP, 0, 0)) return false;
    return WaitForSingleObject(event_, 10000) == WAIT_OBJECT_0;
  }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) {
      SetEvent(reinterpret_cast<HANDLE>(GetWindowLongPtrA(window, GWLP_USERDATA)));
      return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }

  HANDLE event_ = nullptr;
  HWND window_ = nullptr;
};

// Drives the sheet from the driver's thread.
class SheetDriver {
 public:
  SheetDriver(DWORD sheetThread, ThreadMarker& marker, std::vector<std::string>& log)
      : thread_(sheetThread), marker_(marker), log(log) {}

  // Waits for the sheet: a visible dialog of the sheet's thread with a
  // Next button.
  bool FindSheet() {
    for (int i = 0; i < 1000 && !sheet_; ++i) {
      EnumThreadWindows(thread_, FindSheetWindow, reinterpret_cast<LPARAM>(&sheet_));
      if (!sheet_) Sleep(10);
    }
    return sheet_ && Sync();
  }

  HWND sheet() const { return sheet_; }
  HWND Page() const { return reinterpret_cast<HWND>(SendMessageA(sheet_, PSM_GETCURRENTPAGEHWND, 0, 0)); }
  std::string PageName() const {
    HWND page = Page();
    if (GetDlgItem(page, IDC_PREREQ_LIST)) return "PreRequisites";
    if (GetDlgItem(page, IDC_INFORMATION_TEXT)) return "Information";
    return "none";
  }
  std::string Caption() const { return WindowText(sheet_); }
  HWND Item(int id) const { return GetDlgItem(Page(), id); }
  std::string ItemText(int id) const { return WindowText(Item(id)); }

  // The sheet's buttons, "-" for one disabled or hidden.
  std::string Buttons() const {
    std::string text;
    for (int id : {kBackButton, kNextButton, kFinishButton, IDCANCEL}) {
      HWND button = GetDlgItem(sheet_, id);
      bool usable = button && IsWindowVisible(button) && IsWindowEnabled(button);
      if (!text.empty()) text += " ";
      std::string label = WindowText(button);
      // Without the mnemonic marks.
      for (size_t at; (at = label.find('&')) != std::string::npos;) label.erase(at, 1);
      text += usable ? label : "-";
    }
    return text;
  }
  // The page, its step hint and the buttons in one line.
  std::string State() const {
    std::string state = PageName() + " [" + Buttons() + "]";
    if (PageName() == "PreRequisites") {
      state += " " + ItemText(IDC_STEP_HINT) + (IsWindowEnabled(Item(IDC_BROWSE)) ? " Browse" : " -");
    }
    return state;
  }
  void Note(const std::string& line) { log.push_back(line); }
  void NoteState(const std::string& label) { Note(label + ": " + State()); }

  bool Sync() { return marker_.Sync() && marker_.Sync(); }

  // A user's click on an enabled button of the sheet or the page; false,
  // and nothing clicked, when it is disabled.
  bool Click(HWND button, bool wait = true) {
    if (!button || !IsWindowEnabled(button) || !IsWindowVisible(button)) return false;
    PostMessageA(button, BM_CLICK, 0, 0);
    return !wait || Sync();
  }
  bool Press(int sheetButton, bool wait = true) { return Click(GetDlgItem(sheet_, sheetButton), wait); }

  // A modal window of the sheet's thread other than the sheet: a message
  // box, the folder picker, the installation dialog.
  HWND WaitForPopup(DWORD milliseconds = 10000) {
    DWORD start = GetTickCount();
    do {
      PopupSearch search{sheet_, nullptr};
      EnumThreadWindows(thread_, FindPopup, reinterpret_cast<LPARAM>(&search));
      if (search.found) return search.found;
      Sleep(20);
    } while (GetTickCount() - start < milliseconds);
    return nullptr;
  }
  // Waits until `condition` holds, and the thread is idle again.
  bool WaitFor(const std::function<bool()>& condition, DWORD milliseconds = 10000) {
    DWORD start = GetTickCount();
    while (!condition()) {
      if (GetTickCount() - start > milliseconds) return false;
      Sleep(20);
    }
    return Sync();
  }
  bool WaitGone(HWND window, DWORD milliseconds = 10000) {
    DWORD start = GetTickCount();
    while (IsWindow(window)) {
      if (GetTickCount() - start > milliseconds) return false;
      Sleep(20);
    }
    return Sync();
  }

  // The list of the PreRequisites page.
  HWND List() const { return Item(IDC_PREREQ_LIST); }
  int Rows() const { return static_cast<int>(SendMessageA(List(), LVM_GETITEMCOUNT, 0, 0)); }
  std::string Cell(int row, int column) const {
    char text[512] = "";
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(List(), LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    return text;
  }
  std::string Actions() const {
    std::string text;
    for (int row = 0; row < Rows(); ++row) text += (row ? ", " : "") + Cell(row, 2);
    return text;
  }
  RECT CellRect(int row, int column) const {
    RECT cell = {};
    cell.top = column;
    cell.left = LVIR_BOUNDS;
    SendMessageA(List(), LVM_GETSUBITEMRECT, row, reinterpret_cast<LPARAM>(&cell));
    return cell;
  }
  // A click at a point of the list's client area.
  bool ClickList(int x, int y) {
    LPARAM at = MAKELPARAM(x, y);
    PostMessageA(List(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(List(), WM_LBUTTONUP, 0, at);
    return Sync();
  }
  bool ClickCell(int row, int column) {
    RECT cell = CellRect(row, column);
    return ClickList((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2);
  }

  // The open chooser, or null.
  HWND Chooser() const { return FindWindowExA(List(), nullptr, "ComboBox", nullptr); }
  // Clicks a cell whose chooser a test needs open, for what it measures.
  // A click posted in two halves can be lost when a move of the real
  // pointer comes between them (the list takes it for a drag), so a click
  // that opened nothing is tried again, three times at most.
  HWND OpenChooser(int row, int column) {
    for (int attempt = 0; attempt < 3 && !Chooser(); ++attempt) ClickCell(row, column);
    return Chooser();
  }
  int ChooserCount() const {
    int count = 0;
    for (HWND child = FindWindowExA(List(), nullptr, "ComboBox", nullptr); child;
         child = FindWindowExA(List(), child, "ComboBox", nullptr)) {
      ++count;
    }
    return count;
  }
  // Its entries, the selected one in brackets.
  std::string ChooserEntries() const {
    HWND chooser = Chooser();
    if (!chooser) return "no chooser";
    int count = static_cast<int>(SendMessageA(chooser, CB_GETCOUNT, 0, 0));
    int selected = static_cast<int>(SendMessageA(chooser, CB_GETCURSEL, 0, 0));
    std::string text;
    for (int i = 0; i < count; ++i) {
      char entry[128] = "";
      SendMessageA(chooser, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
      text += std::string(i ? ", " : "") + (i == selected ? "[" + std::string(entry) + "]" : std::string(entry));
    }
    return text;
  }
  // Picks an entry of the open chooser as the drop-down list would.
  bool Choose(int index) {
    HWND chooser = Chooser();
    return chooser && SendMessageA(chooser, CB_SETCURSEL, index, 0) == index;
  }

  std::vector<std::string>& log;

 private:
  static BOOL CALLBACK FindSheetWindow(HWND window, LPARAM found) {
    if (IsWindowVisible(window) && ClassOf(window) == "#32770" && GetDlgItem(window, kNextButton)) {
      *reinterpret_cast<HWND*>(found) = window;
      return FALSE;
    }
    return TRUE;
  }
  struct PopupSearch {
    HWND sheet;
    HWND found;
  };
  static BOOL CALLBACK FindPopup(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<PopupSearch*>(data);
    if (window != search->sheet && IsWindowVisible(window) && ClassOf(window) == "#32770") {
      search->found = window;
      return FALSE;
    }
    return TRUE;
  }

  DWORD thread_;
  ThreadMarker& marker_;
  HWND sheet_ = nullptr;
};

// The running process's view of a made setup: its path and a temporary
// folder of the test's own.
class MadeSetupProcess final : public ProcessInfo {
 public:
  bool ModulePath(String* path) override { return path->Assign(modulePath.c_str()); }
  bool TempFolder(String* path) override { return path->Assign(tempFolder.c_str()); }
  bool RandomBytes(void* into, size_t size) override { return system.RandomBytes(into, size); }
  std::string modulePath;
  std::string tempFolder;
  Win32ProcessInfo system;
};

// Plays the download dialog: records each run's items, writes a file of
// the exact size for each item it completes and answers the next code.
class ScriptedDownloadDialog final : public DownloadDialog {
 public:
  int32_t Show(DownloadBatch& batch, DownloadServices&) override {
    int32_t code = codes.empty() ? 0 : codes.front();
    if (!codes.empty()) codes.erase(codes.begin());
    std::string run = "run";
    for (DownloadItem& item : batch.items) {
      run += std::string(" ") + item.url.c_str();
      if (code != 0) continue;
      if (!item.path.Empty() && WriteText(item.path.c_str(), std::string(static_cast<size_t>(item.exactSize), 'd'))) {
        item.status = DownloadStatus::Done;
      } else {
        item.status = DownloadStatus::WriteError;
      }
    }
    runs.push_back(run + " -> " + std::to_string(code));
    return code;
  }
  std::vector<int32_t> codes;  // one per run; 0 when none is left
  std::vector<std::string> runs;
};

// Opens nothing: records each program with its parameters and whether it
// was on disk when its turn came.
class RecordingLauncher final : public ShellLauncher {
 public:
  void StayQuiet() override {}
  bool OpenAndWait(const char* file, const char* parameters, uint32_t* exitCode) override {
    bool present = GetFileAttributesA(file) != INVALID_FILE_ATTRIBUTES;
    opened.push_back(std::string(file) + " [" + parameters + "]" + (present ? "" : " missing"));
    *exitCode = 0;
    return true;
  }
  std::vector<std::string> opened;
};

// A setup made for the test: its payload beside a folder for downloads,
// its prerequisites decided, its plan built, and the wizard's services
// with a scripted download dialog and the real installation dialog.
class WizardSetup {
 public:
  // `stub` is the image in front of the payload: a file with a version
  // resource names the wizard after its product.
  explicit WizardSetup(const std::string& stub = std::string()) : scratch_(NextLabel().c_str()) {
    riched_ = LoadSystemLibrary("riched32.dll");
    CoInitialize(nullptr);
    scratch_.MakeFolder("temp");
    scratch_.MakeFolder("other");
    stub_ = stub.empty() ? std::string(4096, 'M') : stub;
    process_.modulePath = scratch_.path() + "\\setup.exe";
    process_.tempFolder = scratch_.path() + "\\temp\\";
  }
  ~WizardSetup() {
    archive_.CleanUp();
    CoUninitialize();
    if (riched_) FreeLibrary(riched_);
  }
  WizardSetup(const WizardSetup&) = delete;
  WizardSetup& operator=(const WizardSetup&) = delete;

  // A prerequisite shipped in the payload (a plain name) or downloaded (a
  // URL), with what detection found and its action.
  void Add(const char* name, const char* location, PrereqAction action, const char* options = "",
           int32_t exactSize = 0, const char* found = nullptr) {
    bool url = std::string(location).find('/') != std::string::npos;
    Prerequisite prerequisite;
    prerequisite.DisplayName.Assign(name);
    prerequisite.Location.Assign(location);
    prerequisite.Options.Assign(options);
    prerequisite.CommandLine.Assign(url ? "" : "/quiet");
    prerequisite.Source = url ? PrereqSource::Url : PrereqSource::SetupFile;
    prerequisite.ExactSize = exactSize;
    prerequisite.SearchSpec.VerMin.Assign("2.0");
    list_.Prerequisites.Push(static_cast<Prerequisite&&>(prerequisite));
    List<String> texts;
    if (found) {
      String text;
      text.Assign(found);
      texts.Push(static_cast<String&&>(text));
    }
    list_.FoundVersions.Push(static_cast<List<String>&&>(texts));
    list_.Actions.Push(action);
    if (!url) payloadFiles_.push_back(location);
  }

  // Writes the setup, opens its payload and builds the plan. False when any
  // of it fails.
  bool Build() {
    std::vector<TestEntry> entries = {{MainPackage, "App.msi", Pattern(64, 1)}};
    for (const std::string& name : payloadFiles_) entries.push_back({OnDemand, name, Pattern(32, 2)});
    Bytes payload = BuildPayload(0, entries, 0);
    std::string file = stub_ + std::string(payload.begin(), payload.end());
    return WriteText(process_.modulePath, file) && archive_.OpenForRun() == PayloadError::Ok &&
           BuildPlan(archive_, list_, downloads_, &plan_);
  }

  // Runs the wizard on this thread while `script` drives it from another;
  // the sheet is cancelled should the script leave it open.
  WizardOutcome Run(const std::function<void(SheetDriver&)>& script) {
    Driving driving{GetCurrentThreadId(), &marker_, &script, &log};
    HANDLE driver = CreateThread(nullptr, 0, Drive, &driving, 0, nullptr);
    WizardOutcome outcome = RunWizard(plan_, services_);
    WaitForSingleObject(driver, INFINITE);
    CloseHandle(driver);
    return outcome;
  }

  const std::string& folder() const { return scratch_.path(); }
  std::string exePath() const { return process_.modulePath; }
  PrereqPlan& plan() { return plan_; }
  PayloadArchive& archive() { return archive_; }

  std::vector<std::string> log;
  ScriptedDownloadDialog downloadDialog;
  RecordingLauncher launcher;

 private:
  // Each setup of a test gets a folder of its own.
  static std::string NextLabel() {
    static int made = 0;
    return "wizard" + std::to_string(++made);
  }

  struct Driving {
    DWORD thread;
    ThreadMarker* marker;
    const std::function<void(SheetDriver&)>* script;
    std::vector<std::string>* log;
  };
  static DWORD WINAPI Drive(void* data) {
    auto* driving = static_cast<Driving*>(data);
    SheetDriver sheet(driving->thread, *driving->marker, *driving->log);
    if (!sheet.FindSheet()) {
      driving->log->push_back("no sheet");
      return 0;
    }
    (*driving->script)(sheet);
    // A last click may still be on its way to closing the sheet.
    for (int i = 0; i < 250 && IsWindow(sheet.sheet()); ++i) Sleep(20);
    if (IsWindow(sheet.sheet())) {
      driving->log->push_back("left open");
      PostMessageA(sheet.sheet(), PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    }
    return 0;
  }

  ScratchFolder scratch_;
  HMODULE riched_ = nullptr;
  std::string stub_;
  std::vector<std::string> payloadFiles_;
  MadeSetupProcess process_;
  Win32FileSystem files_;
  Win32HttpService http_;
  Win32Clock clock_;
  Win32MessagePoster poster_;
  Win32ThreadService threads_;
  DownloadServices downloads_{http_, files_, clock_, poster_, threads_, SystemLeadByte};
  InstallServices installs_{launcher, threads_, poster_, SystemLeadByte};
  Win32InstallDialog installDialog_;
  WizardServices services_{downloads_, installs_, &downloadDialog, &installDialog_};
  PayloadArchive archive_{files_, process_};
  PrerequisiteList list_;
  PrereqPlan plan_;
  ThreadMarker marker_;
};

}  // namespace korvelt::testing
