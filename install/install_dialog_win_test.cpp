#include "install/install_dialog_win.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/files_win.h"
#include "platform/message_poster_win.h"
#include "platform/sha256_win.h"
#include "platform/threads_win.h"
#include "resources/resource_ids.h"
#include "testing/win32/scratch_folder.h"
#include "testing/win32/ui_helpers.h"

namespace korvelt {
namespace {

std::string Text(HWND window) {
  char text[256] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string Label(HWND dialog) { return Text(GetDlgItem(dialog, IDC_INSTALLING_NAME)); }

// Opens each program by reading, from the thread that runs it, what the
// dialog's label shows meanwhile; the label may lag a moment behind the
// posted IN_STARTING.
class LabelReader final : public ShellLauncher {
 public:
  explicit LabelReader(const InstallRun& run) : run_(run) {}
  void StayQuiet() override {}
  bool OpenAndWait(const char* file, const char* parameters, uint32_t*) override {
    HWND dialog = reinterpret_cast<HWND>(run_.window);
    std::string wanted = (*run_.list)[opened.size()].displayName.c_str();
    std::string seen;
    for (int i = 0; i < 200 && seen != wanted; ++i) {
      seen = Label(dialog);
      if (seen != wanted) Sleep(10);
    }
    opened.push_back(std::string(file) + " [" + parameters + "] while " + seen);
    threads.push_back(GetCurrentThreadId());
    return true;
  }
  std::vector<std::string> opened;
  std::vector<DWORD> threads;

 private:
  const InstallRun& run_;
};

// A thread service whose threads never run: the dialog stays open until
// the test itself posts the installer's messages.
class IdleThreads final : public ThreadService {
 public:
  ThreadId StartThread(ThreadRoutine, void*) override { return fails ? 0 : 1; }
  void WaitForThread(ThreadId) override {}
  EventId CreateManualEvent(bool) override { return 0; }
  void SetEvent(EventId) override {}
  void ResetEvent(EventId) override {}
  void WaitForEvent(EventId) override {}
  void Sleep(uint32_t) override {}
  void Close(uintptr_t) override {}
  bool fails = false;
};

class InstallDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::HaveDisplay()) GTEST_SKIP() << "windows need a display";
    Add("C:\\dl\\one.exe", "/q", "Runtime 1.0");
    Add("C:\\dl\\two.exe", "", "Fonts");
    run.list = &list;
  }
  void Add(const char* path, const char* parameters, const char* name) {
    InstallEntry entry;
    ASSERT_TRUE(entry.path.Assign(path));
    ASSERT_TRUE(entry.parameters.Assign(parameters));
    ASSERT_TRUE(entry.displayName.Assign(name));
    ASSERT_TRUE(list.Push(static_cast<InstallEntry&&>(entry)));
  }

  InstallList list;
  InstallRun run;
  LabelReader launcher{run};
  Win32MessagePoster poster;
};

// With its installer thread the dialog names each program while it runs,
// the programs run one by one off the dialog's thread, and IN_ALL_DONE
// closes the dialog.
TEST_F(InstallDialogTest, NamesEachProgramWhileItRuns) {
  Win32ThreadService threads;
  InstallServices services{launcher, threads, poster, NoLeadBytes};
  run.services = &services;
  Win32InstallDialog dialog;
  EXPECT_TRUE(dialog.Show(run));
  ASSERT_NE(run.thread, 0u);
  threads.WaitForThread(run.thread);
  threads.Close(run.thread);
  EXPECT_EQ(launcher.opened, (std::vector<std::string>{"C:\\dl\\one.exe [/q] while Runtime 1.0",
                                                       "C:\\dl\\two.exe [] while Fonts"}));
  for (DWORD thread : launcher.threads) EXPECT_NE(thread, GetCurrentThreadId());
  EXPECT_FALSE(IsWindow(reinterpret_cast<HWND>(run.window)));
}

// What a second thread saw of the open dialog.
struct Seen {
  HWND dialog = nullptr;
  std::string title;
  std::string caption;
  std::string label;
  std::string afterFirst;
  std::string afterSecond;
  std::string afterBadIndex;
  bool openAfterCancel = false;
  bool openAfterClose = false;
  LONG style = 0;
  bool icons = false;
};

// Waits on its own thread for the dialog of `run`, reads it, sends it the
// installer's messages and the ways a user would close it, then posts
// IN_ALL_DONE.
struct Probe {
  InstallRun* run;
  Seen seen;
};

DWORD WINAPI ProbeDialog(void* data) {
  auto* probe = static_cast<Probe*>(data);
  HWND dialog = nullptr;
  for (int i = 0; i < 500 && !(dialog && IsWindowVisible(dialog)); ++i) {
    dialog = reinterpret_cast<HWND>(probe->run->window);
    Sleep(10);
  }
  Seen& seen = probe->seen;
  seen.dialog = dialog;
  if (!dialog) return 0;
  seen.title = Text(dialog);
  seen.style = GetWindowLongA(dialog, GWL_STYLE);
  seen.icons = SendMessageA(dialog, WM_GETICON, ICON_BIG, 0) && SendMessageA(dialog, WM_GETICON, ICON_SMALL, 0);
  seen.caption = Text(GetDlgItem(dialog, -1));
  seen.label = Label(dialog);
  SendMessageA(dialog, IN_STARTING, 1, 0);
  seen.afterFirst = Label(dialog);
  SendMessageA(dialog, IN_STARTING, 0, 0);
  seen.afterSecond = Label(dialog);
  SendMessageA(dialog, IN_STARTING, 7, 0);
  seen.afterBadIndex = Label(dialog);
  SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  seen.openAfterCancel = IsWindowVisible(dialog);
  SendMessageA(dialog, WM_CLOSE, 0, 0);
  seen.openAfterClose = IsWindowVisible(dialog);
  PostMessageA(dialog, IN_ALL_DONE, 0, 0);
  return 0;
}

// The label reads "Static" until the first IN_STARTING; Cancel, Escape and
// the close box are swallowed; only IN_ALL_DONE closes the dialog.
TEST_F(InstallDialogTest, StartsAsStaticAndOnlyTheInstallerClosesIt) {
  IdleThreads threads;
  InstallServices services{launcher, threads, poster, NoLeadBytes};
  run.services = &services;
  Probe probe{&run, {}};
  HANDLE watcher = CreateThread(nullptr, 0, ProbeDialog, &probe, 0, nullptr);
  ASSERT_NE(watcher, nullptr);
  Win32InstallDialog dialog;
  EXPECT_TRUE(dialog.Show(run));
  WaitForSingleObject(watcher, INFINITE);
  CloseHandle(watcher);

  const Seen& seen = probe.seen;
  ASSERT_NE(seen.dialog, nullptr) << "the dialog never showed";
  EXPECT_EQ(seen.title, "Launching PreRequisites");
  EXPECT_TRUE(seen.icons) << "the setup's icon, large and small";
  EXPECT_EQ(seen.caption, "Installing:");
  EXPECT_EQ(seen.label, "Static");
  EXPECT_EQ(seen.afterFirst, "Fonts");
  EXPECT_EQ(seen.afterSecond, "Runtime 1.0");
  EXPECT_EQ(seen.afterBadIndex, "Runtime 1.0");
  EXPECT_TRUE(seen.openAfterCancel);
  EXPECT_TRUE(seen.openAfterClose);
  EXPECT_EQ(seen.style & WS_SYSMENU, WS_SYSMENU);
  EXPECT_EQ(seen.style & WS_THICKFRAME, 0);
  EXPECT_TRUE(launcher.opened.empty());
  EXPECT_FALSE(IsWindow(seen.dialog));
}

// Without an installer thread the programs run on the dialog's own thread,
// the label naming each, and the dialog closes after the last.
TEST_F(InstallDialogTest, WithoutAThreadRunsHereAndCloses) {
  IdleThreads threads;
  threads.fails = true;
  InstallServices services{launcher, threads, poster, NoLeadBytes};
  run.services = &services;
  Win32InstallDialog dialog;
  EXPECT_TRUE(dialog.Show(run));
  EXPECT_TRUE(run.ran);
  EXPECT_EQ(run.thread, 0u);
  EXPECT_EQ(launcher.opened, (std::vector<std::string>{"C:\\dl\\one.exe [/q] while Runtime 1.0",
                                                       "C:\\dl\\two.exe [] while Fonts"}));
  for (DWORD thread : launcher.threads) EXPECT_EQ(thread, GetCurrentThreadId());
}

// With its thread or without, a program whose file is not of its Sha256 is
// not run and is marked refused; the one without a digest runs.
TEST_F(InstallDialogTest, EitherWayChecksTheDigest) {
  testing::ScratchFolder scratch("install-digest");
  const std::string one = scratch.path() + "\\one.exe";
  const std::string two = scratch.path() + "\\two.exe";
  ASSERT_TRUE(testing::WriteText(one, "one"));
  ASSERT_TRUE(testing::WriteText(two, "not abc"));
  String abc;
  ASSERT_TRUE(abc.Assign("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
  for (bool withThread : {true, false}) {
    SCOPED_TRACE(withThread ? "with a thread" : "without");
    list.Clear();
    launcher.opened.clear();
    Add(one.c_str(), "", "Runtime 1.0");
    Add(two.c_str(), "", "Fonts");
    list[1].sha256 = &abc;
    Win32ThreadService realThreads;
    IdleThreads noThreads;
    noThreads.fails = true;
    Win32FileSystem files;
    Win32Sha256Service sha256;
    InstallServices services{launcher, withThread ? static_cast<ThreadService&>(realThreads) : noThreads, poster,
                             NoLeadBytes, &files, &sha256};
    run = InstallRun();
    run.list = &list;
    run.services = &services;
    Win32InstallDialog dialog;
    EXPECT_TRUE(dialog.Show(run));
    if (run.thread) {
      realThreads.WaitForThread(run.thread);
      realThreads.Close(run.thread);
    }
    EXPECT_EQ(run.thread != 0, withThread);
    EXPECT_EQ(launcher.opened, (std::vector<std::string>{one + " [] while Runtime 1.0"}));
    EXPECT_FALSE(list[0].refused);
    EXPECT_TRUE(list[1].refused);
  }
}

}  // namespace
}  // namespace korvelt
