#include "download/download_dialog_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>

#include "resources/resource_ids.h"
#include "testing/win32/download_dialog_driver.h"
#include "testing/win32/ui_helpers.h"
#include "ui/layout.h"

namespace korvelt {
namespace {

using testing::BarState;
using testing::ControlRect;
using testing::ItemText;
using testing::Deliver;
using testing::WindowText;

constexpr char kLongUrl[] = "http://downloads.example.com/runtimes/2010/sp1/vcredist_x86.exe";

std::string RectText(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "-" + std::to_string(r.right) + "," +
         std::to_string(r.bottom);
}

// What a probe saw, by name; compared on the test thread.
using Seen = std::map<std::string, std::string>;

void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

// The pause gate: "open" while signalled.
std::string Gate(const DownloadBatch& batch) {
  return WaitForSingleObject(reinterpret_cast<HANDLE>(batch.pauseEvent), 0) == WAIT_OBJECT_0 ? "open" : "shut";
}

class DownloadDialogWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::HaveDisplay()) GTEST_SKIP() << "windows need a display";
    ASSERT_TRUE(driver.batch.folder.Assign("C:\\dl\\"));
    driver.Add(kLongUrl, 20000);
    driver.Add("http://h/fonts.exe", 10000);
    driver.Add("http://h/big.exe", 300000);
    // The dialog is owned by the window active on its thread.
    owner = CreateWindowExA(0, "STATIC", "Owner", WS_POPUP | WS_VISIBLE | WS_CAPTION, 120, 90, 700, 560, nullptr,
                            nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);
    SetForegroundWindow(owner);
    SetActiveWindow(owner);
    testing::PumpMessages(50);
  }
  void TearDown() override {
    if (owner) DestroyWindow(owner);
  }
  std::vector<DownloadStatus> Statuses() {
    std::vector<DownloadStatus> statuses;
    for (const DownloadItem& item : driver.batch.items) statuses.push_back(item.status);
    return statuses;
  }

  testing::DownloadDialogDriver driver;
  HWND owner = nullptr;
};

// The dialog as it opens: its window with the setup's icons, every control
// where the template puts it, the list's styles, columns and rows, the
// bars, the labels.
TEST_F(DownloadDialogWinTest, OpensOverTheRun) {
  Seen seen;
  const struct {
    int id;
    const char* kind;
    const char* text;
    RECT units;  // left, top, width, height
  } controls[] = {
      {IDC_DOWNLOAD_LIST, "SysListView32", "", {20, 18, 219, 71}},
      {IDC_CURRENT_LABEL, "Static", "Current progress:", {20, 105, 58, 8}},
      {IDC_DOWNLOAD_SPEED, "Static", "0 KB/s", {93, 105, 116, 8}},
      {IDC_CURRENT_PROGRESS, "msctls_progress32", "", {20, 119, 219, 14}},
      {IDC_TOTAL_LABEL, "Static", "Global progress:", {20, 148, 53, 8}},
      {IDC_TOTAL_PROGRESS, "msctls_progress32", "", {20, 161, 219, 14}},
      {IDC_PAUSE_RESUME, "Button", "Pause", {54, 193, 50, 14}},
      {IDCANCEL, "Button", "Cancel", {155, 193, 50, 14}},
  };
  int32_t code = driver.Run([&](HWND dialog) {
    if (!dialog) return;
    seen["title"] = WindowText(dialog);
    seen["icons"] = std::string(SendMessageA(dialog, WM_GETICON, ICON_BIG, 0) ? "large" : "-") +
                    (SendMessageA(dialog, WM_GETICON, ICON_SMALL, 0) ? " small" : " -");
    LONG style = GetWindowLongA(dialog, GWL_STYLE);
    const LONG frame = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN;
    seen["frame"] = (style & frame) == frame ? "caption, system menu, sizing frame, clips children" : "other";
    seen["owner"] = GetWindow(dialog, GW_OWNER) == owner ? "owner" : "another";
    RECT own = {};
    RECT over = {};
    GetWindowRect(dialog, &own);
    GetWindowRect(owner, &over);
    LayoutPoint centred = CentredPosition(LayoutRect{own.left, own.top, own.right, own.bottom},
                                          LayoutRect{over.left, over.top, over.right, over.bottom},
                                          LayoutRect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)});
    seen["centred"] = centred.x == own.left && centred.y == own.top ? "yes" : RectText(own);
    for (const auto& c : controls) {
      HWND control = GetDlgItem(dialog, c.id);
      std::string key = "control " + std::to_string(c.id);
      // Position and size are converted each on its own, as the dialog
      // manager does.
      RECT units = c.units;
      MapDialogRect(dialog, &units);
      units.right += units.left;
      units.bottom += units.top;
      RECT placed = ControlRect(dialog, c.id);
      seen[key] = testing::ClassOf(control) + " \"" + WindowText(control) + "\" " +
                  (IsWindowVisible(control) ? "visible" : "hidden") + (IsWindowEnabled(control) ? " enabled" : "") +
                  (EqualRect(&units, &placed) ? " in place" : " at " + RectText(placed));
    }
    HWND grip = GetDlgItem(dialog, kGripId);
    seen["grip"] = testing::ClassOf(grip) + (IsWindowVisible(grip) ? " visible" : " hidden");

    HWND list = GetDlgItem(dialog, IDC_DOWNLOAD_LIST);
    LONG listStyle = GetWindowLongA(list, GWL_STYLE);
    // The dialog manager draws a control's border as a sunken edge.
    bool border = (listStyle & WS_BORDER) || (GetWindowLongA(list, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    seen["list style"] = std::string((listStyle & LVS_TYPEMASK) == LVS_REPORT ? "report" : "other") +
                         ((listStyle & LVS_NOSORTHEADER) ? ", unsorted header" : "") + (border ? ", border" : "");
    LRESULT extended = SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    seen["list extended"] = std::string((extended & LVS_EX_FULLROWSELECT) ? "full row" : "") +
                            ((extended & LVS_EX_LABELTIP) ? ", label tips" : "");
    HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
    std::string columns;
    for (int i = 0; i < SendMessageA(header, HDM_GETITEMCOUNT, 0, 0); ++i) {
      char title[64] = "";
      LVCOLUMNA column = {};
      column.mask = LVCF_TEXT | LVCF_FMT;
      column.pszText = title;
      column.cchTextMax = sizeof title;
      SendMessageA(list, LVM_GETCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
      columns += std::string(i ? "|" : "") + title + ((column.fmt & LVCFMT_JUSTIFYMASK) == LVCFMT_LEFT ? " left" : "");
    }
    seen["columns"] = columns;
    RECT listClient = {};
    GetClientRect(list, &listClient);
    LRESULT urlWidth = SendMessageA(list, LVM_GETCOLUMNWIDTH, 0, 0);
    LRESULT statusWidth = SendMessageA(list, LVM_GETCOLUMNWIDTH, 1, 0);
    seen["status width"] = std::to_string(statusWidth);
    seen["columns fill"] = urlWidth + statusWidth == listClient.right ? "yes"
                                                                      : std::to_string(urlWidth) + " + " +
                                                                            std::to_string(statusWidth) + " in " +
                                                                            std::to_string(listClient.right);
    std::string rows;
    for (int i = 0; i < SendMessageA(list, LVM_GETITEMCOUNT, 0, 0); ++i) {
      rows += ItemText(list, i, 0) + " " + ItemText(list, i, 1) + "|";
    }
    seen["rows"] = rows;
    seen["total bar"] = BarState(dialog, IDC_TOTAL_PROGRESS);
  });
  EXPECT_EQ(code, DownloadSucceeded);
  EXPECT_EQ(seen["title"], "Downloading...");
  EXPECT_EQ(seen["icons"], "large small");
  EXPECT_EQ(seen["frame"], "caption, system menu, sizing frame, clips children");
  EXPECT_EQ(seen["owner"], "owner");
  EXPECT_EQ(seen["centred"], "yes");
  for (const auto& c : controls) {
    EXPECT_EQ(seen["control " + std::to_string(c.id)],
              std::string(c.kind) + " \"" + c.text + "\" visible enabled in place");
  }
  EXPECT_EQ(seen["grip"], "ScrollBar visible");
  EXPECT_EQ(seen["list style"], "report, unsorted header, border");
  EXPECT_EQ(seen["list extended"], "full row, label tips");
  EXPECT_EQ(seen["columns"], "URL left|Status left");
  EXPECT_EQ(seen["status width"], "50");
  EXPECT_EQ(seen["columns fill"], "yes");
  EXPECT_EQ(seen["rows"], std::string(kLongUrl) + " 0%|http://h/fonts.exe 0%|http://h/big.exe 0%|");
  EXPECT_EQ(seen["total bar"], "0..330000 at 0");
}

// The worker's messages drive the bars, the speed label and the rows, and
// refine the statuses; Pause and Resume flip the button and the flag word
// and shut and open the gate.
TEST_F(DownloadDialogWinTest, FollowsTheWorkerAndPauses) {
  Seen seen;
  int32_t code = driver.Run([&](HWND dialog) {
    if (!dialog) return;
    HWND list = GetDlgItem(dialog, IDC_DOWNLOAD_LIST);
    const DownloadBatch& batch = driver.batch;
    auto state = [&](const std::string& name) {
      seen[name] = "current " + BarState(dialog, IDC_CURRENT_PROGRESS) + ", total " +
                   BarState(dialog, IDC_TOTAL_PROGRESS) + ", " + WindowText(GetDlgItem(dialog, IDC_DOWNLOAD_SPEED)) +
                   ", rows " + ItemText(list, 0, 1) + " " + ItemText(list, 1, 1) + " " + ItemText(list, 2, 1);
    };
    auto button = [&](const std::string& name) {
      seen[name] = WindowText(GetDlgItem(dialog, IDC_PAUSE_RESUME)) + ", flags " +
                   std::to_string(batch.control.load()) + ", gate " + Gate(batch);
    };
    Deliver(dialog, DL_FILE_START, 0, 0);
    Deliver(dialog, DL_PROGRESS, 8192, 1234);
    state("first chunk");
    button("running");
    Click(dialog, IDC_PAUSE_RESUME);
    button("paused");
    Click(dialog, IDC_PAUSE_RESUME);
    button("resumed");
    Deliver(dialog, DL_PROGRESS, 8192, 1205);
    Deliver(dialog, DL_PROGRESS, 3616, 0);
    Deliver(dialog, DL_FILE_DONE, 0, 0);
    Deliver(dialog, DL_FILE_START, 1, 0);
    Deliver(dialog, DL_PROGRESS, 4000, 99);
    Deliver(dialog, DL_READ_FAILED, 1, 0);
    Deliver(dialog, DL_FILE_START, 2, 0);
    Deliver(dialog, DL_PROGRESS, 150000, 250000);
    Deliver(dialog, DL_SAVE_FAILED, 2, 0);
    state("three files");
    seen["open before the end"] = IsWindowVisible(dialog) ? "yes" : "no";
    PostMessageA(dialog, DL_ALL_DONE, 0, 0);
  });
  EXPECT_EQ(code, DownloadSucceeded);
  EXPECT_EQ(seen["first chunk"], "current 0..20000 at 8192, total 0..330000 at 8192, 12.34 KB/s, rows 40% 0% 0%");
  EXPECT_EQ(seen["running"], "Pause, flags 0, gate open");
  EXPECT_EQ(seen["paused"], "Resume, flags 1, gate shut");
  EXPECT_EQ(seen["resumed"], "Pause, flags 0, gate open");
  EXPECT_EQ(seen["three files"],
            "current 0..300000 at 150000, total 0..330000 at 174000, 2500.00 KB/s, rows 100% 40% 50%");
  EXPECT_EQ(seen["open before the end"], "yes");
  EXPECT_EQ(Statuses(), (std::vector<DownloadStatus>{DownloadStatus::Done, DownloadStatus::ReadError,
                                                     DownloadStatus::WriteError}));
  // DL_ALL_DONE closes without waiting; the run waits once the window is gone.
  EXPECT_EQ(driver.threads.waits, std::vector<std::string>{"wait, dialog gone"});
  EXPECT_EQ(driver.batch.pauseEvent, 0u);
}

// Cancel, the Escape key and the close box only ask the worker to stop,
// without a question; the worker's DL_ABORTED ends the dialog with 4 once
// the worker has ended.
TEST_F(DownloadDialogWinTest, CancelAbortsThroughTheWorker) {
  Seen seen;
  int32_t code = driver.Run([&](HWND dialog) {
    if (!dialog) return;
    DownloadBatch& batch = driver.batch;
    DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
    auto after = [&](const std::string& name) {
      testing::WaitUntil([&] { return (batch.control.load() & ABORT_FLAG) != 0; });
      seen[name] = std::string("flags ") + std::to_string(batch.control.load()) + ", gate " + Gate(batch) +
                   (IsWindowVisible(dialog) ? ", open" : ", closed") +
                   (testing::FindDialog(thread, nullptr, dialog) ? ", asked" : "");
    };
    Click(dialog, IDC_PAUSE_RESUME);
    Click(dialog, IDCANCEL);
    after("cancel while paused");
    batch.control = 0;
    // The close box posts the dialog its Cancel command.
    SendMessageA(dialog, WM_CLOSE, 0, 0);
    after("close box");
    batch.control = 0;
    PostMessageA(GetDlgItem(dialog, IDC_PAUSE_RESUME), WM_KEYDOWN, VK_ESCAPE, 0);
    after("escape");
    PostMessageA(dialog, DL_ABORTED, 0, 0);
  });
  EXPECT_EQ(code, DownloadAborted);
  EXPECT_EQ(seen["cancel while paused"], "flags 3, gate open, open");
  EXPECT_EQ(seen["close box"], "flags 2, gate open, open");
  EXPECT_EQ(seen["escape"], "flags 2, gate open, open");
  EXPECT_EQ(driver.threads.waits, (std::vector<std::string>{"wait, dialog open", "wait, dialog gone"}));
}

// A file of the wrong size, or of other content: one error box per file,
// owned by the dialog, with the system's caption and OK alone; the
// worker's messages are handled behind it, and the file's row and bar stay
// at 0.
TEST_F(DownloadDialogWinTest, WrongSizeBoxes) {
  Seen seen;
  int32_t code = driver.Run([&](HWND dialog) {
    if (!dialog) return;
    DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
    HWND list = GetDlgItem(dialog, IDC_DOWNLOAD_LIST);
    Deliver(dialog, DL_FILE_START, 0);
    // Posted, as the worker does: the box holds the dialog's thread.
    PostMessageA(dialog, DL_WRONG_SIZE, 12345, 0);
    HWND first = testing::WaitForDialog(thread, nullptr, dialog);
    if (!first) return;
    seen["caption"] = WindowText(first);
    seen["text"] = WindowText(GetDlgItem(first, 0xFFFF));
    HWND ok = GetDlgItem(first, IDOK);
    HWND cancel = GetDlgItem(first, IDCANCEL);
    seen["buttons"] = std::string(ok && IsWindowVisible(ok) ? "OK" : "") +
                      (cancel && IsWindowVisible(cancel) ? " Cancel" : "");
    // The icon control of a message box shows the system's error icon.
    HICON shown = nullptr;
    for (HWND child = GetWindow(first, GW_CHILD); child && !shown; child = GetWindow(child, GW_HWNDNEXT)) {
      if (testing::ClassOf(child) == "Static") shown = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
    }
    seen["icon"] = shown && shown == LoadIconA(nullptr, IDI_ERROR) ? "error" : "other";
    // Behind the box the run goes on, and a second file, of the right
    // size but other content, is refused in a box that names it.
    PostMessageA(dialog, DL_FILE_START, 1, 0);
    PostMessageA(dialog, DL_WRONG_CONTENT, 1, 0);
    HWND second = testing::WaitForDialog(thread, nullptr, dialog, first);
    seen["second box"] = second ? "over the first" : "none";
    if (second) seen["second text"] = WindowText(GetDlgItem(second, 0xFFFF));
    Deliver(dialog, DL_FILE_START, 2);
    Deliver(dialog, DL_PROGRESS, 3000);
    if (second) SendMessageA(second, WM_COMMAND, IDOK, 0);
    SendMessageA(first, WM_COMMAND, IDOK, 0);
    seen["after"] = "rows " + ItemText(list, 0, 1) + " " + ItemText(list, 1, 1) + " " + ItemText(list, 2, 1) +
                    ", total " + BarState(dialog, IDC_TOTAL_PROGRESS);
    PostMessageA(dialog, DL_ALL_DONE, 0, 0);
  });
  EXPECT_EQ(code, DownloadSucceeded);
  EXPECT_EQ(seen["caption"], "Error");
  EXPECT_EQ(seen["text"], "Wrong file size. The downloaded file cannot be found or is corrupt.");
  EXPECT_EQ(seen["buttons"], "OK");
  EXPECT_EQ(seen["icon"], "error");
  EXPECT_EQ(seen["second box"], "over the first");
  EXPECT_EQ(seen["second text"],
            "The file downloaded for fonts.exe is not the one this setup expects. It may have been changed on the "
            "server or on its way, and it will not be used.");
  EXPECT_EQ(seen["after"], "rows 0% 0% 1%, total 0..330000 at 3000");
  EXPECT_EQ(Statuses(),
            (std::vector<DownloadStatus>{DownloadStatus::Failed, DownloadStatus::Failed, DownloadStatus::Pending}));
}

// Growing the dialog widens the list and the bars, makes the list taller,
// moves the rest down and Cancel right too; it cannot shrink below its
// first size; maximising hides the grip.
TEST_F(DownloadDialogWinTest, Resizes) {
  Seen seen;
  std::map<int, RECT> before;
  std::map<int, RECT> grown;
  const int ids[] = {IDC_DOWNLOAD_LIST,   IDC_CURRENT_PROGRESS, IDC_TOTAL_PROGRESS, IDC_CURRENT_LABEL, IDC_TOTAL_LABEL,
                     IDC_PAUSE_RESUME,    IDCANCEL,             IDC_DOWNLOAD_SPEED, kGripId};
  int32_t code = driver.Run([&](HWND dialog) {
    if (!dialog) return;
    for (int id : ids) before[id] = ControlRect(dialog, id);
    RECT frame = {};
    GetWindowRect(dialog, &frame);
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    SetWindowPos(dialog, nullptr, 0, 0, width + 100, height + 50, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (int id : ids) grown[id] = ControlRect(dialog, id);
    // A drag below the first size stops at it.
    MINMAXINFO limits = {};
    SendMessageA(dialog, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    seen["minimum"] = std::to_string(limits.ptMinTrackSize.x - width) + "," +
                      std::to_string(limits.ptMinTrackSize.y - height);
    ShowWindow(dialog, SW_MAXIMIZE);
    seen["maximised grip"] = IsWindowVisible(GetDlgItem(dialog, kGripId)) ? "shown" : "hidden";
    ShowWindow(dialog, SW_RESTORE);
    seen["restored grip"] = IsWindowVisible(GetDlgItem(dialog, kGripId)) ? "shown" : "hidden";
    PostMessageA(dialog, DL_ALL_DONE, 0, 0);
  });
  EXPECT_EQ(code, DownloadSucceeded);
  const std::map<int, RECT> moves = {
      {IDC_DOWNLOAD_LIST, {0, 0, 100, 50}},   {IDC_CURRENT_PROGRESS, {0, 50, 100, 50}},
      {IDC_TOTAL_PROGRESS, {0, 50, 100, 50}}, {IDC_CURRENT_LABEL, {0, 50, 0, 50}},
      {IDC_TOTAL_LABEL, {0, 50, 0, 50}},      {IDC_PAUSE_RESUME, {0, 50, 0, 50}},
      {IDCANCEL, {100, 50, 100, 50}},         {IDC_DOWNLOAD_SPEED, {0, 50, 0, 50}},
      {kGripId, {100, 50, 100, 50}},
  };
  for (int id : ids) {
    const RECT& b = before[id];
    const RECT& m = moves.at(id);
    RECT expected = {b.left + m.left, b.top + m.top, b.right + m.right, b.bottom + m.bottom};
    EXPECT_EQ(RectText(grown[id]), RectText(expected)) << "control " << id;
  }
  EXPECT_EQ(seen["minimum"], "0,0");
  EXPECT_EQ(seen["maximised grip"], "hidden");
  EXPECT_EQ(seen["restored grip"], "shown");
}

// A run without items opens with an empty list and a bar of range 0 to 0,
// and the worker's first message, DL_ALL_DONE, closes it with 0.
TEST_F(DownloadDialogWinTest, NoItems) {
  driver.batch.items.Clear();
  Seen seen;
  int32_t code = driver.Run([&](HWND dialog) {
    if (!dialog) return;
    seen["rows"] = std::to_string(SendMessageA(GetDlgItem(dialog, IDC_DOWNLOAD_LIST), LVM_GETITEMCOUNT, 0, 0));
    seen["total bar"] = BarState(dialog, IDC_TOTAL_PROGRESS);
    PostMessageA(dialog, DL_ALL_DONE, 0, 0);
  });
  EXPECT_EQ(code, DownloadSucceeded);
  EXPECT_EQ(seen["rows"], "0");
  EXPECT_EQ(seen["total bar"], "0..0 at 0");
}

// No session, or a URL that cannot be opened: the dialog ends with 1 once
// the worker has ended.
TEST_F(DownloadDialogWinTest, OpenFailureEndsWithOne) {
  int32_t code = driver.Run([&](HWND dialog) {
    if (dialog) PostMessageA(dialog, DL_OPEN_FAILED, 0, 0);
  });
  EXPECT_EQ(code, DownloadNotStarted);
  EXPECT_EQ(driver.threads.waits, (std::vector<std::string>{"wait, dialog open", "wait, dialog gone"}));
}

// Without a worker thread nothing would ever end the dialog: it ends at
// once with 1, before it is ever shown.
TEST_F(DownloadDialogWinTest, NoWorkerThreadEndsAtOnce) {
  driver.threads.failStart = true;
  bool shown = true;
  int32_t code = driver.Run([&](HWND dialog) { shown = dialog != nullptr; });
  EXPECT_EQ(code, DownloadNotStarted);
  EXPECT_FALSE(shown);
}

}  // namespace
}  // namespace korvelt
