// Running the real download dialog in a test. Its worker never runs: a
// probe on a thread of its own finds the dialog, reads it back, posts the
// worker's messages and presses its buttons as the worker and a user
// would, and ends it. Everything the probe sees is checked by the test
// thread afterwards: GoogleTest is used from one thread only.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "download/download_dialog_win.h"
#include "platform/clock_win.h"
#include "platform/files_win.h"
#include "platform/http_win.h"
#include "platform/message_poster_win.h"
#include "prereq/download_name.h"
#include "testing/win32/ui_helpers.h"

namespace korvelt::testing {

// Threads that never run, with the system's own events, so that a test can
// look at the pause gate. Each wait for the worker is written down with
// whether the download dialog was still open.
class ScriptedThreads final : public ThreadService {
 public:
  ThreadId StartThread(ThreadRoutine, void*) override { return failStart ? 0 : kThread; }
  void WaitForThread(ThreadId) override {
    waits.push_back(FindWindowA("#32770", "Downloading...") ? "wait, dialog open" : "wait, dialog gone");
  }
  EventId CreateManualEvent(bool signalled) override {
    return reinterpret_cast<EventId>(CreateEventA(nullptr, TRUE, signalled, nullptr));
  }
  void SetEvent(EventId event) override { ::SetEvent(reinterpret_cast<HANDLE>(event)); }
  void ResetEvent(EventId event) override { ::ResetEvent(reinterpret_cast<HANDLE>(event)); }
  void WaitForEvent(EventId event) override { WaitForSingleObject(reinterpret_cast<HANDLE>(event), INFINITE); }
  void Sleep(uint32_t milliseconds) override { ::Sleep(milliseconds); }
  void Close(uintptr_t handle) override {
    if (handle != kThread) CloseHandle(reinterpret_cast<HANDLE>(handle));
  }

  static constexpr ThreadId kThread = 1;
  bool failStart = false;
  std::vector<std::string> waits;
};

inline std::string ItemText(HWND list, int row, int column) {
  char text[512] = "";
  LVITEMA item = {};
  item.iSubItem = column;
  item.pszText = text;
  item.cchTextMax = sizeof text;
  SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
  return text;
}

// A control's rectangle in its dialog's client coordinates.
inline RECT ControlRect(HWND dialog, int id) {
  RECT r = {};
  GetWindowRect(GetDlgItem(dialog, id), &r);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// A progress bar as "low..high at position".
inline std::string BarState(HWND dialog, int id) {
  HWND bar = GetDlgItem(dialog, id);
  return std::to_string(SendMessageA(bar, PBM_GETRANGE, TRUE, 0)) + ".." +
         std::to_string(SendMessageA(bar, PBM_GETRANGE, FALSE, 0)) + " at " +
         std::to_string(SendMessageA(bar, PBM_GETPOS, 0, 0));
}

struct ThreadWindowSearch {
  const char* title;
  HWND owner;
  HWND except;
  HWND found;
};

inline BOOL CALLBACK FindThreadWindow(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<ThreadWindowSearch*>(data);
  if (window == search->except || !IsWindowVisible(window) || ClassOf(window) != "#32770") return TRUE;
  if (search->owner && GetWindow(window, GW_OWNER) != search->owner) return TRUE;
  if (search->title && WindowText(window) != search->title) return TRUE;
  search->found = window;
  return FALSE;
}

// A visible dialog of thread `threadId` with the title `title` (any, when
// null) and the owner `owner` (any, when null), other than `except`.
inline HWND FindDialog(DWORD threadId, const char* title, HWND owner = nullptr, HWND except = nullptr) {
  ThreadWindowSearch search{title, owner, except, nullptr};
  EnumThreadWindows(threadId, FindThreadWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Waits until `condition` holds; false after two seconds.
inline bool WaitUntil(const std::function<bool()>& condition) {
  for (int i = 0; i < 100; ++i) {
    if (condition()) return true;
    Sleep(20);
  }
  return condition();
}

// FindDialog, waiting for the dialog up to two seconds.
inline HWND WaitForDialog(DWORD threadId, const char* title, HWND owner = nullptr, HWND except = nullptr) {
  HWND found = nullptr;
  WaitUntil([&] { return (found = FindDialog(threadId, title, owner, except)) != nullptr; });
  return found;
}

// Hands a worker message to the dialog and returns once it was handled.
// The worker posts them; sent, their effect can be read at once.
inline void Deliver(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam = 0) {
  SendMessageA(dialog, message, wParam, lParam);
}

// A batch of files, the system's services around threads that never run,
// and a way to run the dialog over them with a probe.
class DownloadDialogDriver {
 public:
  void Add(const char* url, int32_t exactSize) {
    DownloadItem item;
    item.url.Assign(url);
    DownloadFileName(url, "", NoLeadBytes, &item.name);
    item.exactSize = exactSize;
    batch.items.Push(static_cast<DownloadItem&&>(item));
  }

  // Runs the interactive download with `probe` on a thread of its own,
  // called with the dialog once it is visible (null if it never came).
  // Whatever the probe leaves open is closed after it: its message boxes,
  // then the dialog, by a DL_ALL_DONE.
  int32_t Run(std::function<void(HWND)> probe) {
    probe_ = std::move(probe);
    dialogThread_ = GetCurrentThreadId();
    HANDLE thread = CreateThread(nullptr, 0, &DownloadDialogDriver::ProbeMain, this, 0, nullptr);
    int32_t code = RunDownloads(batch, services, &dialog);
    returned_ = true;
    if (thread) {
      WaitForSingleObject(thread, INFINITE);
      CloseHandle(thread);
    }
    return code;
  }

  DownloadBatch batch;
  ScriptedThreads threads;
  Win32HttpService http;
  Win32FileSystem files;
  Win32Clock clock;
  Win32MessagePoster poster;
  DownloadServices services{http, files, clock, poster, threads, NoLeadBytes};
  Win32DownloadDialog dialog;

 private:
  static DWORD WINAPI ProbeMain(void* self) {
    static_cast<DownloadDialogDriver*>(self)->Probe();
    return 0;
  }
  void Probe() {
    HWND window = nullptr;
    // A dialog that ends before it is shown is never found.
    for (int i = 0; i < 500 && !window && !returned_; ++i) {
      window = FindDialog(dialogThread_, "Downloading...");
      if (!window) Sleep(20);
    }
    probe_(window);
    if (!window || !IsWindow(window)) return;
    for (int i = 0; i < 10; ++i) {
      HWND box = FindDialog(dialogThread_, nullptr, window);
      if (!box) break;
      SendMessageA(box, WM_COMMAND, IDOK, 0);
    }
    PostMessageA(window, DL_ALL_DONE, 0, 0);
  }

  std::function<void(HWND)> probe_;
  DWORD dialogThread_ = 0;
  std::atomic<bool> returned_{false};
};

}  // namespace korvelt::testing
