// The wizard's real windows, driven as a user would drive them.
#include "wizard/wizard_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <richedit.h>

#include <string>
#include <vector>

#include "testing/win32/wizard_driver.h"
#include "wizard/pages_win.h"

namespace korvelt {
namespace {

using testing::SheetDriver;
using testing::WizardSetup;
using Log = std::vector<std::string>;

std::string FileBytes(const std::string& path) { return testing::ReadText(path); }

std::string ProgramFile(const char* name) { return testing::ProgramFolder() + "\\" + name; }

// The prerequisites of most walks: one from the payload to install, one to
// download, one present in an acceptable version, one for another system.
void AddTypical(WizardSetup& setup, const char* downloadOptions = "") {
  setup.Add("Runtime 2.0", "runtime.exe", Install, "", 0, "1.0");
  setup.Add("Codec Pack", "http://127.0.0.1:9/dl/codec.exe", Download, downloadOptions, 300);
  setup.Add("Fonts", "fonts.exe", DontInstall, "", 0, "2.5");
  setup.Add("Legacy Driver", "http://127.0.0.1:9/legacy.exe", NotRequired, "", 10);
}

class WizardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::HaveDisplay()) GTEST_SKIP() << "windows need a display";
  }
};

// A plain walk: Information, Next; the list in DownloadStep; Next runs the
// download dialog, Next the installation step; Back and Next again keep
// the step and neither set the icons again nor move the sheet; Finish.
TEST_F(WizardTest, PlainWalkDownloadsInstallsAndFinishes) {
  WizardSetup setup(FileBytes(ProgramFile("prereq_versioned.dll")));
  AddTypical(setup);
  ASSERT_TRUE(setup.Build());
  std::string folder = setup.folder() + "\\";
  HICON icons[2] = {};
  POINT moved = {};
  WizardOutcome outcome = setup.Run([&](SheetDriver& d) {
    d.Note("caption " + d.Caption());
    d.NoteState("opened");
    icons[0] = reinterpret_cast<HICON>(SendMessageA(d.sheet(), WM_GETICON, ICON_BIG, 0));
    icons[1] = reinterpret_cast<HICON>(SendMessageA(d.sheet(), WM_GETICON, ICON_SMALL, 0));
    RECT sheet = {}, work = {};
    GetWindowRect(d.sheet(), &sheet);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    int dx = (work.left + work.right) / 2 - (sheet.right - sheet.left) / 2 - sheet.left;
    int dy = (work.top + work.bottom) / 2 - (sheet.bottom - sheet.top) / 2 - sheet.top;
    d.Note(dx == 0 && dy == 0 ? "centred" : "off centre by " + std::to_string(dx) + "," + std::to_string(dy));

    d.Press(kNextButton);
    d.Note("caption " + d.Caption());
    d.NoteState("listed");
    for (int row = 0; row < d.Rows(); ++row) {
      d.Note(d.Cell(row, 0) + " | " + d.Cell(row, 1) + " | " + d.Cell(row, 2));
    }
    d.Note("folder " + d.ItemText(IDC_DOWNLOAD_FOLDER));

    d.Press(kNextButton);
    d.NoteState("downloaded");
    d.Note(d.Actions());

    d.Press(kNextButton, false);
    d.WaitFor([&] { return d.Cell(0, 2) == "Installed"; });
    d.NoteState("installed");
    d.Note(d.Actions());

    // Moved away, the sheet stays where the user put it.
    GetWindowRect(d.sheet(), &sheet);
    moved = {sheet.left + 17, sheet.top + 11};
    SetWindowPos(d.sheet(), nullptr, moved.x, moved.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    d.Press(kBackButton);
    d.NoteState("back");
    d.Press(kNextButton);
    d.NoteState("next again");
    GetWindowRect(d.sheet(), &sheet);
    d.Note(sheet.left == moved.x && sheet.top == moved.y ? "not moved" : "moved");
    bool sameIcons = reinterpret_cast<HICON>(SendMessageA(d.sheet(), WM_GETICON, ICON_BIG, 0)) == icons[0] &&
                     reinterpret_cast<HICON>(SendMessageA(d.sheet(), WM_GETICON, ICON_SMALL, 0)) == icons[1];
    d.Note(sameIcons ? "same icons" : "icons changed");
    d.Press(kFinishButton, false);
  });

  EXPECT_EQ(outcome, WizardOutcome::Finished);
  const std::string download = "Please press the Next button to start downloading the prerequisites.";
  const std::string install = "Please press the Next button to install the prerequisites.";
  const std::string finish = "Please press the Finish button to install the main application.";
  EXPECT_EQ(setup.log, (Log{
                           "caption Korvelt Test Runtime Setup",
                           "opened: Information [- Next > Finish Cancel]",
                           "centred",
                           "caption Korvelt Test Runtime Setup",
                           "listed: PreRequisites [< Back Next > Finish Cancel] " + download + " Browse",
                           "Runtime 2.0 | Required: 2.0 or higher. Found: 1.0 | Install",
                           "Codec Pack | Required: 2.0 or higher. Found: nothing. | Download",
                           "Fonts | Required: 2.0 or higher. Found: 2.5 | Don't Install",
                           "Legacy Driver | Not required for this operating system. | Don't Install",
                           "folder " + folder,
                           "downloaded: PreRequisites [< Back Next > Finish Cancel] " + install + " -",
                           "Install, Install, Don't Install, Don't Install",
                           "installed: PreRequisites [< Back - Finish Cancel] " + finish + " -",
                           "Installed, Installed, Don't Install, Don't Install",
                           "back: Information [- Next > Finish Cancel]",
                           "next again: PreRequisites [< Back - Finish Cancel] " + finish + " -",
                           "not moved",
                           "same icons",
                       }));
  EXPECT_NE(icons[0], nullptr);
  EXPECT_NE(icons[1], nullptr);
  EXPECT_EQ(setup.downloadDialog.runs, Log{"run http://127.0.0.1:9/dl/codec.exe -> 0"});
  ASSERT_EQ(setup.launcher.opened.size(), 2u);
  const std::string& runtime = setup.launcher.opened[0];
  EXPECT_EQ(runtime.substr(runtime.size() - 21), "\\runtime.exe [/quiet]") << runtime;
  EXPECT_EQ(runtime.find(setup.folder() + "\\temp\\"), 0u) << runtime;
  EXPECT_EQ(setup.launcher.opened[1], folder + "codec.exe []");
  EXPECT_EQ(PrereqAction(setup.plan().actions[1]), Installed);
}

// The sheet's caption after each text it was given, in order.
std::vector<std::string>* sheetTexts = nullptr;

LRESULT CALLBACK WatchSheetTexts(int code, WPARAM wParam, LPARAM lParam) {
  const CWPRETSTRUCT* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
  if (code == HC_ACTION && call->message == WM_SETTEXT && GetDlgItem(call->hwnd, kNextButton) && sheetTexts) {
    sheetTexts->push_back(testing::WindowText(call->hwnd));
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The caption, whatever the sheet shows while a page comes up: the product
// name and " Setup" when the version information has a ProductName, the
// path and " Setup" when it has none, and the path alone when there is no
// version information.
TEST_F(WizardTest, CaptionFollowsTheVersionInformation) {
  enum Kind { Named, Unnamed, Plain };
  for (Kind kind : {Named, Unnamed, Plain}) {
    const char* stub = kind == Named ? "prereq_versioned.dll" : "prereq_unnamed.dll";
    WizardSetup setup(kind == Plain ? std::string() : FileBytes(ProgramFile(stub)));
    setup.Add("Runtime 2.0", "runtime.exe", Install);
    ASSERT_TRUE(setup.Build());
    std::string expected = kind == Named     ? "Korvelt Test Runtime Setup"
                           : kind == Unnamed ? setup.exePath() + " Setup"
                                             : setup.exePath();
    std::vector<std::string> texts;
    sheetTexts = &texts;
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROCRET, WatchSheetTexts, nullptr, GetCurrentThreadId());
    WizardOutcome outcome = setup.Run([&](SheetDriver& d) {
      d.Note(d.Caption());
      d.Press(kNextButton);
      d.Note(d.Caption());
      d.Press(IDCANCEL, false);
    });
    UnhookWindowsHookEx(hook);
    sheetTexts = nullptr;
    EXPECT_EQ(outcome, WizardOutcome::Cancelled);
    EXPECT_EQ(setup.log, (Log{expected, expected})) << kind;
    // The sheet gives itself each page's own caption as the page comes up;
    // the title posted then replaces it every time.
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back(), expected) << kind;
    for (size_t i = 0; i + 1 < texts.size(); ++i) {
      if (texts[i] != expected) EXPECT_EQ(texts[i + 1], expected) << kind << " after " << texts[i];
    }
  }
}

// A pending mandatory prerequisite keeps Finish disabled on both pages
// until FinishStep; Cancel ends the wizard as Cancelled and nothing runs.
TEST_F(WizardTest, MandatoryPrerequisiteDisablesFinishUntilTheEnd) {
  WizardSetup setup;
  AddTypical(setup, "m");
  ASSERT_TRUE(setup.Build());
  WizardOutcome outcome = setup.Run([&](SheetDriver& d) {
    d.NoteState("opened");
    d.Press(kNextButton);
    d.NoteState("listed");
    d.Note(d.Press(kFinishButton) ? "finish pressed" : "finish refused");
    d.Press(IDCANCEL, false);
  });
  EXPECT_EQ(outcome, WizardOutcome::Cancelled);
  EXPECT_EQ(setup.log, (Log{"opened: Information [- Next > - Cancel]",
                            "listed: PreRequisites [< Back Next > - Cancel] Please press the Next button to start "
                            "downloading the prerequisites. Browse",
                            "finish refused"}));
  EXPECT_TRUE(setup.downloadDialog.runs.empty());
  EXPECT_TRUE(setup.launcher.opened.empty());

  // Walked to its end, Finish comes back and stays once a change of
  // actions brings a step back.
  WizardSetup walked;
  walked.Add("Codec Pack", "http://127.0.0.1:9/dl/codec.exe", Download, "m", 20);
  walked.Add("Runtime 2.0", "runtime.exe", DontInstall);
  ASSERT_TRUE(walked.Build());
  outcome = walked.Run([&](SheetDriver& d) {
    d.Press(kNextButton);
    d.Press(kNextButton);
    d.NoteState("downloaded");
    d.Press(kNextButton, false);
    d.WaitFor([&] { return d.Cell(0, 2) == "Installed"; });
    d.NoteState("installed");
    d.ClickCell(1, 2);
    d.Choose(1);
    d.ClickCell(0, 0);
    d.NoteState("runtime chosen");
    d.Press(kFinishButton, false);
  });
  EXPECT_EQ(outcome, WizardOutcome::Finished);
  EXPECT_EQ(walked.log, (Log{"downloaded: PreRequisites [< Back Next > - Cancel] Please press the Next button to "
                             "install the prerequisites. -",
                             "installed: PreRequisites [< Back - Finish Cancel] Please press the Finish button to "
                             "install the main application. -",
                             "runtime chosen: PreRequisites [< Back Next > Finish Cancel] Please press the Next "
                             "button to install the prerequisites. -"}));
}

// A download run that fails is reported over the page and changes
// nothing, so Next starts a new run; Finish in DownloadStep skips the
// rest.
TEST_F(WizardTest, FailedDownloadIsReportedAndTriedAgain) {
  WizardSetup setup;
  AddTypical(setup);
  ASSERT_TRUE(setup.Build());
  setup.downloadDialog.codes = {4, 1, 0};
  testing::SeenMessageBox box;
  HWND sheet = nullptr;
  WizardOutcome outcome = setup.Run([&](SheetDriver& d) {
    d.Press(kNextButton);
    sheet = d.sheet();
    d.Press(kNextButton, false);
    HWND shown = d.WaitForPopup();
    if (shown) {
      box.found = true;
      box.caption = testing::WindowText(shown);
      char text[256] = "";
      GetDlgItemTextA(shown, 0xFFFF, text, sizeof text);
      box.text = text;
      box.owner = GetWindow(shown, GW_OWNER);
      SendMessageA(shown, WM_COMMAND, IDOK, 0);
      d.WaitGone(shown);
    }
    d.NoteState("after failure");
    d.Note(d.Actions());
    d.Press(kNextButton, false);
    HWND second = d.WaitForPopup();
    d.Note(second ? testing::WindowText(GetDlgItem(second, 0xFFFF)) : "no second box");
    if (second) {
      SendMessageA(second, WM_COMMAND, IDOK, 0);
      d.WaitGone(second);
    }
    d.Press(kNextButton);
    d.NoteState("after success");
    d.Press(kFinishButton, false);
  });
  EXPECT_EQ(outcome, WizardOutcome::Finished);
  ASSERT_TRUE(box.found);
  EXPECT_EQ(box.caption, "Error");
  EXPECT_EQ(box.text, "Download aborted.");
  EXPECT_EQ(box.owner, sheet) << "owned by the page's window";
  const std::string url = "http://127.0.0.1:9/dl/codec.exe";
  EXPECT_EQ(setup.downloadDialog.runs, (Log{"run " + url + " -> 4", "run " + url + " -> 1", "run " + url + " -> 0"}));
  EXPECT_EQ(setup.log, (Log{"after failure: PreRequisites [< Back Next > Finish Cancel] Please press the Next button "
                            "to start downloading the prerequisites. Browse",
                            "Install, Download, Don't Install, Don't Install", "Download failed to start.",
                            "after success: PreRequisites [< Back Next > Finish Cancel] Please press the Next button "
                            "to install the prerequisites. -"}));
  EXPECT_TRUE(setup.launcher.opened.empty()) << "Finish skips the installation step";
}

// The chooser: only on the Action cell of a row that may change (not the
// one for another system, not the mandatory one, which also keeps Finish
// disabled), laid over the cell, in the page's font, with its two
// entries; the choice applies when the focus leaves it, and a click on
// another Action cell commits the open one before the next opens.
TEST_F(WizardTest, ActionChooserOverridesARow) {
  WizardSetup setup;
  AddTypical(setup);
  setup.Add("Mandatory Tool", "tool.exe", Install, "m");
  ASSERT_TRUE(setup.Build());
  std::string geometry;
  WizardOutcome outcome = setup.Run([&](SheetDriver& d) {
    d.Press(kNextButton);
    struct Click {
      int row, column;
    };
    for (Click click : {Click{0, 0}, Click{0, 1}, Click{3, 2}, Click{4, 2}}) {
      d.ClickCell(click.row, click.column);
      d.Note("click " + std::to_string(click.row) + "," + std::to_string(click.column) + ": " + d.ChooserEntries());
    }
    RECT last = d.CellRect(4, 2);
    d.ClickList((last.left + last.right) / 2, last.bottom + 30);
    d.Note("below the rows: " + d.ChooserEntries());

    d.ClickCell(0, 2);
    HWND chooser = d.Chooser();
    RECT cell = d.CellRect(0, 2), box = {};
    GetWindowRect(chooser, &box);
    MapWindowPoints(nullptr, d.List(), reinterpret_cast<POINT*>(&box), 2);
    LRESULT font = SendMessageA(chooser, WM_GETFONT, 0, 0);
    geometry = std::string(GetParent(chooser) == d.List() ? "child of the list" : "elsewhere") +
               (box.left == cell.left && box.top == cell.top && box.right == cell.right ? ", over the cell" : ", off") +
               (font == SendMessageA(d.Page(), WM_GETFONT, 0, 0) ? ", page font" : ", other font") +
               ((GetWindowLongA(chooser, GWL_STYLE) & 3) == CBS_DROPDOWNLIST ? ", drop-down list" : "");
    d.Note("runtime: " + d.ChooserEntries());
    d.Choose(0);
    d.Note("chosen, not applied: " + d.Actions());
    d.ClickCell(1, 2);  // commits the first, opens the second
    d.Note("codec: " + d.ChooserEntries() + " (" + std::to_string(d.ChooserCount()) + " open)");
    d.Note("applied: " + d.Actions());
    d.NoteState("runtime left out");
    d.ClickCell(1, 0);  // leaves it as it was
    d.Note("kept: " + d.Actions());
    d.ClickCell(1, 2);
    d.Choose(0);
    d.ClickCell(2, 1);
    d.NoteState("codec left out");
    d.ClickCell(2, 2);
    d.Note("fonts: " + d.ChooserEntries());
    d.Choose(1);
    d.Press(kBackButton);  // a sheet button takes the focus too
    d.Press(kNextButton);
    d.NoteState("fonts chosen");
    d.Note(d.Actions());
    d.Press(IDCANCEL, false);
  });
  EXPECT_EQ(outcome, WizardOutcome::Cancelled);
  EXPECT_EQ(geometry, "child of the list, over the cell, page font, drop-down list");
  EXPECT_EQ(setup.log,
            (Log{"click 0,0: no chooser", "click 0,1: no chooser", "click 3,2: no chooser", "click 4,2: no chooser",
                 "below the rows: no chooser", "runtime: Don't Install, [Install]",
                 "chosen, not applied: Install, Download, Don't Install, Don't Install, Install",
                 "codec: Don't Install, [Download] (1 open)",
                 "applied: Don't Install, Download, Don't Install, Don't Install, Install",
                 "runtime left out: PreRequisites [< Back Next > - Cancel] Please press the Next button to start "
                 "downloading the prerequisites. Browse",
                 "kept: Don't Install, Download, Don't Install, Don't Install, Install",
                 "codec left out: PreRequisites [< Back Next > - Cancel] Please press the Next button to install "
                 "the prerequisites. -",
                 "fonts: [Don't Install], Install",
                 "fonts chosen: PreRequisites [< Back Next > - Cancel] Please press the Next button to install "
                 "the prerequisites. -",
                 "Don't Install, Don't Install, Install, Don't Install, Install"}));
}

// The chooser is made 200 pixels deeper than its cell, which is the room
// its list drops into: the dropped list's rectangle starts at the cell and
// reaches that deep, less at most the chooser's own field, which some
// systems take off it.
TEST_F(WizardTest, ChooserReachesDeeperThanItsCell) {
  WizardSetup setup;
  AddTypical(setup);
  ASSERT_TRUE(setup.Build());
  RECT cell = {}, field = {}, dropped = {};
  setup.Run([&](SheetDriver& d) {
    d.Press(kNextButton);
    EXPECT_NE(d.OpenChooser(1, 2), nullptr);
    cell = d.CellRect(1, 2);
    GetWindowRect(d.Chooser(), &field);
    MapWindowPoints(nullptr, d.List(), reinterpret_cast<POINT*>(&field), 2);
    SendMessageA(d.Chooser(), CB_SHOWDROPDOWN, TRUE, 0);
    d.Sync();
    SendMessageA(d.Chooser(), CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
    MapWindowPoints(nullptr, d.List(), reinterpret_cast<POINT*>(&dropped), 2);
    SendMessageA(d.Chooser(), CB_SHOWDROPDOWN, FALSE, 0);
    d.Press(IDCANCEL, false);
  });
  EXPECT_GT(cell.bottom, cell.top);
  EXPECT_EQ(field.top, cell.top);
  EXPECT_EQ(field.left, cell.left);
  EXPECT_EQ(field.right, cell.right);
  EXPECT_EQ(dropped.top, cell.top);
  EXPECT_LE(dropped.bottom, cell.bottom + 200);
  EXPECT_GE(dropped.bottom, cell.bottom + 200 - (field.bottom - field.top) - 4);
}

// The columns after the rows are in, and whether each Status and Action
// cell is whole: "fills" when the three widths add up to the client area,
// then the scroll bars that show.
std::string ColumnFit(HWND list, int rows) {
  RECT client = {};
  GetClientRect(list, &client);
  LRESULT widths[3];
  for (int i = 0; i < 3; ++i) widths[i] = SendMessageA(list, LVM_GETCOLUMNWIDTH, i, 0);
  LONG style = GetWindowLongA(list, GWL_STYLE);
  std::string fit = widths[0] + widths[1] + widths[2] == client.right ? "fills" : "does not fill";
  fit += std::string(style & WS_HSCROLL ? ", h bar" : "") + (style & WS_VSCROLL ? ", v bar" : "");
  for (int row = 0; row < rows; ++row) {
    for (int column : {1, 2}) {
      char text[260] = "";
      LVITEMA item = {};
      item.iSubItem = column;
      item.pszText = text;
      item.cchTextMax = sizeof text;
      SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
      // The list view's own auto-sizing leaves 12 pixels beside the text.
      if (SendMessageA(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(text)) + 12 > widths[column]) {
        fit += ", cut " + std::to_string(row) + "," + std::to_string(column);
      }
    }
  }
  return fit + (widths[0] > 0 ? "" : ", no name");
}

// Twelve rows of long names: the columns fill the list's client area, which
// the vertical scroll bar narrows, with no horizontal scroll bar, Status
// and Action whole and Name the rest. A change of density, which resizes
// the list, lays them out again, and takes an open choice first; the
// sheet's icons are loaded again for it.
TEST_F(WizardTest, ColumnsFitTheListWhateverItHolds) {
  WizardSetup setup;
  std::vector<std::string> files;
  for (int i = 0; i < 12; ++i) files.push_back("runtime" + std::to_string(i) + ".exe");
  for (int i = 0; i < 12; ++i) {
    std::string name = "Fjord Schriftarten Laufzeitumgebung fuer Anwendungen, Teil " + std::to_string(i);
    setup.Add(name.c_str(), files[i].c_str(), Install, "", 0, "1.0");
  }
  ASSERT_TRUE(setup.Build());
  setup.Run([&](SheetDriver& d) {
    d.Press(kNextButton);
    d.Note("shown: " + ColumnFit(d.List(), d.Rows()));
    d.OpenChooser(0, 2);
    d.Choose(0);
    RECT box = {};
    GetWindowRect(d.List(), &box);
    SetWindowPos(d.List(), nullptr, 0, 0, box.right - box.left - 60, box.bottom - box.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    d.Note("narrowed: " + ColumnFit(d.List(), d.Rows()));
    SendMessageA(d.Page(), WM_DPICHANGED_AFTERPARENT, 0, 0);
    d.Note("laid out again: " + ColumnFit(d.List(), d.Rows()) + "; first row " + d.Cell(0, 2) +
           (d.Chooser() ? ", chooser open" : ""));
    // The Information page loads the sheet's icons again for the new screen.
    LRESULT before = SendMessageA(d.sheet(), WM_GETICON, ICON_SMALL, 0);
    HWND information = reinterpret_cast<HWND>(SendMessageA(d.sheet(), PSM_INDEXTOHWND, 0, 0));
    SendMessageA(information, WM_DPICHANGED_AFTERPARENT, 0, 0);
    LRESULT after = SendMessageA(d.sheet(), WM_GETICON, ICON_SMALL, 0);
    d.Note(after && after != before ? "icons loaded again" : "icons as they were");
    d.Press(IDCANCEL, false);
  });
  EXPECT_EQ(setup.log, (Log{"shown: fills, v bar", "narrowed: does not fill, h bar, v bar",
                            "laid out again: fills, v bar; first row Don't Install", "icons loaded again"}));
}

// Browse: the picker titled with string 134; a folder holding the
// download's file at its exact size turns the row into an install and
// leaves InstallStep; cancelling the picker changes nothing.
TEST_F(WizardTest, BrowseChoosesAnotherDownloadFolder) {
  WizardSetup setup;
  AddTypical(setup);
  ASSERT_TRUE(setup.Build());
  std::string other = setup.folder() + "\\other";
  ASSERT_TRUE(testing::WriteText(other + "\\codec.exe", std::string(300, 'c')));
  std::string pickerTitle;
  setup.Run([&](SheetDriver& d) {
    d.Press(kNextButton);
    d.Click(d.Item(IDC_BROWSE), false);
    HWND picker = d.WaitForPopup();
    if (!picker) return d.Note("no picker");
    d.Sync();
    for (HWND child = GetWindow(picker, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      if (testing::WindowText(child) == "Select the download folder.") pickerTitle = testing::WindowText(child);
    }
    SendMessageA(picker, WM_COMMAND, IDCANCEL, 0);
    d.WaitGone(picker);
    d.Note("cancelled: " + d.ItemText(IDC_DOWNLOAD_FOLDER) + " " + d.Actions());

    d.Click(d.Item(IDC_BROWSE), false);
    picker = d.WaitForPopup();
    if (!picker) return d.Note("no picker");
    d.Sync();
    // The picker fills its tree as it opens; the selection holds only once
    // the tree shows the folder selected.
    HWND tree = FindWindowExA(picker, nullptr, "SysTreeView32", nullptr);
    bool selected = d.WaitFor([&] {
      SendMessageA(picker, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(other.c_str()));
      char name[MAX_PATH] = "";
      TVITEMA item = {};
      item.mask = TVIF_TEXT;
      item.hItem = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
      item.pszText = name;
      item.cchTextMax = sizeof name;
      return item.hItem && SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) &&
             std::string(name) == "other";
    });
    if (!selected) d.Note("not selected");
    SendMessageA(picker, WM_COMMAND, IDOK, 0);
    d.WaitGone(picker);
    d.Note("chosen: " + d.ItemText(IDC_DOWNLOAD_FOLDER) + " " + d.Actions());
    d.NoteState("state");
    d.Press(IDCANCEL, false);
  });
  EXPECT_EQ(pickerTitle, "Select the download folder.");
  EXPECT_EQ(setup.log, (Log{"cancelled: " + setup.folder() + "\\ Install, Download, Don't Install, Don't Install",
                            "chosen: " + other + "\\ Install, Install, Don't Install, Don't Install",
                            "state: PreRequisites [< Back Next > Finish Cancel] Please press the Next button to install "
                            "the prerequisites. -"}));
  EXPECT_EQ(setup.plan().actions[1], InstallExisting);
  EXPECT_STREQ(setup.plan().downloads.folder.c_str(), (other + "\\").c_str());
}

// The Information page: the document whole and read-only, its heading in
// bold 16-point Times New Roman, the button names in bold italics, the
// bullets; the focus collapses the selection to the start. Tab reaches the
// text, the page keys scroll it, and Enter in it is Next.
TEST_F(WizardTest, InformationPageShowsTheDocument) {
  WizardSetup setup;
  setup.Add("Runtime 2.0", "runtime.exe", Install);
  ASSERT_TRUE(setup.Build());
  std::string text;
  LONG style = 0;
  std::vector<std::string> formats;
  CHARRANGE afterFocus = {-1, -1};
  PARAFORMAT bullet = {};
  std::vector<std::string> keys;
  setup.Run([&](SheetDriver& d) {
    HWND edit = d.Item(IDC_INFORMATION_TEXT);
    char whole[4096] = "";
    GetWindowTextA(edit, whole, sizeof whole);
    text = whole;
    style = GetWindowLongA(edit, GWL_STYLE);
    // Where a word first stands, in the control's own character count.
    auto find = [&](const char* word) {
      FINDTEXTA search = {};
      search.chrg.cpMin = 0;
      search.chrg.cpMax = -1;
      search.lpstrText = word;
      return static_cast<LONG>(SendMessageA(edit, EM_FINDTEXT, FR_DOWN | FR_MATCHCASE | FR_WHOLEWORD,
                                            reinterpret_cast<LPARAM>(&search)));
    };
    auto formatOf = [&](const char* word) {
      LONG start = find(word);
      if (start < 0) return std::string("missing ") + word;
      SendMessageA(edit, EM_SETSEL, start, start + static_cast<LONG>(strlen(word)));
      CHARFORMATA format = {};
      format.cbSize = sizeof format;
      format.dwMask = CFM_BOLD | CFM_ITALIC | CFM_SIZE | CFM_FACE;
      SendMessageA(edit, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
      std::string effects = std::string(format.dwEffects & CFE_BOLD ? " bold" : "") +
                            (format.dwEffects & CFE_ITALIC ? " italic" : "");
      return std::string(word) + ": " + format.szFaceName + " " + std::to_string(format.yHeight / 20) + effects;
    };
    for (const char* word : {"Required Prerequisites", "determined", "Next", "Finish", "Cancel", "acceptable"}) {
      formats.push_back(formatOf(word));
    }
    LONG start = find("available");
    SendMessageA(edit, EM_SETSEL, start, start);
    bullet.cbSize = sizeof bullet;
    SendMessageA(edit, EM_GETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&bullet));

    SendMessageA(edit, EM_SETSEL, 40, 60);
    SendMessageA(edit, WM_SETFOCUS, 0, 0);
    SendMessageA(edit, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&afterFocus));

    // From the keyboard: the text takes the focus, Page Down scrolls it,
    // and Enter there is still Next, the sheet's default button.
    PostMessageA(d.sheet(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
    d.Sync();
    GUITHREADINFO thread = {};
    thread.cbSize = sizeof thread;
    GetGUIThreadInfo(GetWindowThreadProcessId(d.sheet(), nullptr), &thread);
    keys.push_back(thread.hwndFocus == edit ? "focused" : "not focused");
    keys.push_back(SendMessageA(d.sheet(), DM_GETDEFID, 0, 0) == MAKELONG(kNextButton, DC_HASDEFID) ? "Next default"
                                                                                                  : "other default");
    PostMessageA(edit, WM_KEYDOWN, VK_NEXT, 0);
    PostMessageA(edit, WM_KEYUP, VK_NEXT, 0);
    d.Sync();
    keys.push_back(SendMessageA(edit, EM_GETFIRSTVISIBLELINE, 0, 0) > 0 ? "scrolled" : "not scrolled");
    PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
    PostMessageA(edit, WM_KEYUP, VK_RETURN, 0);
    d.Sync();
    keys.push_back(d.PageName());
    d.Press(IDCANCEL, false);
  });
  EXPECT_EQ(keys, (std::vector<std::string>{"focused", "Next default", "scrolled", "PreRequisites"}));
  EXPECT_NE(style & WS_TABSTOP, 0);
  EXPECT_NE(style & ES_READONLY, 0);
  for (const char* paragraph :
       {"Required Prerequisites",
        "The setup has determined that some of the prerequisites needed to run this program are missing. This "
        "wizard will assist you in getting and installing those prerequisites. Clicking on the Next button will "
        "take you to the PreRequisites page.",
        "Depending on its installation state, each prerequisite may require one of the following Actions: ",
        "Download - the prerequisite is missing and it must be downloaded in order to be installed on this computer.",
        "Install - the prerequisite is available and it will be installed.",
        "Don't install - an acceptable version is already installed.",
        "Clicking on the Next button while in the prerequisites page will perform the scheduled actions starting "
        "with the downloads and finishing with the installs.",
        "You may click on the Finish button at any time, to completely skip the installation of prerequisites and "
        "jump to the installation of the main program. Clicking on Cancel will cancel the installation "
        "completely."}) {
    EXPECT_NE(text.find(paragraph), std::string::npos) << paragraph << "\nin:\n" << text;
  }
  EXPECT_EQ(formats, (std::vector<std::string>{"Required Prerequisites: Times New Roman 16 bold",
                                               "determined: Arial 10", "Next: Arial 10 bold italic",
                                               "Finish: Arial 10 bold italic", "Cancel: Arial 10 bold italic",
                                               "acceptable: Arial 10"}));
  EXPECT_EQ(bullet.wNumbering, PFN_BULLET);
  EXPECT_EQ(bullet.dxOffset, 270);
  EXPECT_EQ(afterFocus.cpMin, 0);
  EXPECT_EQ(afterFocus.cpMax, 0);
}

// The pages answer the notifications they do not act on with 0, Next on
// the last page with -1 so that the sheet stays; a notification from any
// other window is not theirs, so Finish from the list ends nothing.
TEST_F(WizardTest, NotificationsThePagesDoNotActOn) {
  WizardSetup setup;
  setup.Add("Runtime 2.0", "runtime.exe", DontInstall);
  setup.Add("Codec Pack", "http://127.0.0.1:9/dl/codec.exe", Download, "", 20);
  ASSERT_TRUE(setup.Build());
  WizardOutcome outcome = setup.Run([&](SheetDriver& d) {
    auto send = [&](HWND from, UINT code) {
      NMHDR header = {from, 0, code};
      SetWindowLongPtrA(d.Page(), DWLP_MSGRESULT, 77);
      return std::to_string(SendMessageA(d.Page(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&header)));
    };
    std::string answers = "information";
    for (UINT code : {PSN_KILLACTIVE, PSN_QUERYCANCEL, PSN_APPLY, PSN_RESET, PSN_WIZBACK}) {
      answers += " " + send(d.sheet(), code);
    }
    d.Note(answers);
    d.Press(kNextButton);
    d.ClickCell(1, 2);
    d.Choose(0);
    d.ClickCell(0, 0);
    answers = "prerequisites";
    for (UINT code : {PSN_KILLACTIVE, PSN_QUERYCANCEL, PSN_APPLY, PSN_RESET, PSN_WIZBACK, PSN_WIZNEXT}) {
      answers += " " + send(d.sheet(), code);
    }
    d.Note(answers);
    send(d.List(), PSN_WIZFINISH);
    d.Press(IDCANCEL, false);
  });
  EXPECT_EQ(outcome, WizardOutcome::Cancelled);
  EXPECT_EQ(setup.log, (Log{"information 0 0 0 0 0", "prerequisites 0 0 0 0 0 -1"}));
}

}  // namespace
}  // namespace korvelt
