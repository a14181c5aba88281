// Helpers for Win32 tests that show real windows: whether a display is
// there, pumping the thread's messages, a watcher that reads and closes
// message boxes from a second thread, and screen captures.
#pragma once

#include <stdio.h>
#include <string.h>
#include <windows.h>

#include <string>
#include <utility>

namespace korvelt::testing {

// A window's text and class name, as the tests compare them.
inline std::string WindowText(HWND window) {
  char text[1024] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

inline std::string ClassOf(HWND window) {
  char name[64] = "";
  GetClassNameA(window, name, sizeof name);
  return name;
}

// Windows need an X display under Wine; without one the window tests skip.
inline bool HaveDisplay() {
  char value[256];
  return GetEnvironmentVariableA("DISPLAY", value, sizeof value) > 0;
}

// Dispatches the thread's pending messages for `milliseconds`, so that
// windows paint; the code under test never does this itself.
inline void PumpMessages(DWORD milliseconds) {
  DWORD start = GetTickCount();
  do {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    Sleep(10);
  } while (GetTickCount() - start < milliseconds);
}

// What the watcher saw of the message box it closed.
struct SeenMessageBox {
  bool found = false;
  std::string caption;
  std::string text;
  HWND owner = nullptr;
  bool okButton = false;
  bool cancelButton = false;
  RECT rect = {};
};

// Captures the whole screen into `<directory>/<name>.png`, where
// `directory` is a host path; the capture runs as a host program, so this
// waits for its marker file. False when it did not finish in time.
inline bool CaptureScreen(const std::string& hostDirectory, const std::string& name) {
  std::string png = hostDirectory + "/" + name + ".png";
  std::string marker = hostDirectory + "/" + name + ".done";
  std::string command = "Z:\\bin\\sh -c \"rm -f '" + marker + "'; import -window root '" + png + "' && touch '" +
                        marker + "'\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    return false;
  }
  if (process.hProcess) CloseHandle(process.hProcess);
  if (process.hThread) CloseHandle(process.hThread);
  std::string windowsMarker = "Z:" + marker;
  for (char& c : windowsMarker) {
    if (c == '/') c = '\\';
  }
  // The marker of an earlier run is removed by the command itself, so give
  // it a moment before looking.
  Sleep(300);
  for (int i = 0; i < 300; ++i) {
    if (GetFileAttributesA(windowsMarker.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    Sleep(50);
  }
  return false;
}

// Watches one thread for a message box (window class "#32770"), reads it,
// optionally captures the screen, and closes it with OK. Everything it
// sees is checked by the test thread after Finish(): GoogleTest is used
// from one thread only.
class MessageBoxWatcher {
 public:
  explicit MessageBoxWatcher(DWORD threadId, std::string captureDirectory = std::string(),
                             std::string captureName = std::string(), DWORD timeoutMs = 10000)
      : threadId_(threadId),
        captureDirectory_(std::move(captureDirectory)),
        captureName_(std::move(captureName)),
        timeoutMs_(timeoutMs) {
    thread_ = CreateThread(nullptr, 0, &MessageBoxWatcher::Main, this, 0, nullptr);
  }
  ~MessageBoxWatcher() { Finish(); }
  MessageBoxWatcher(const MessageBoxWatcher&) = delete;
  MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

  // Waits for the watcher to end and returns what it saw.
  const SeenMessageBox& Finish() {
    if (thread_) {
      WaitForSingleObject(thread_, INFINITE);
      CloseHandle(thread_);
      thread_ = nullptr;
    }
    return seen_;
  }
  bool Captured() const { return captured_; }

 private:
  static BOOL CALLBACK FindBox(HWND window, LPARAM found) {
    char className[32];
    if (IsWindowVisible(window) && GetClassNameA(window, className, sizeof className) &&
        strcmp(className, "#32770") == 0) {
      *reinterpret_cast<HWND*>(found) = window;
      return FALSE;
    }
    return TRUE;
  }

  static DWORD WINAPI Main(void* self) {
    static_cast<MessageBoxWatcher*>(self)->Watch();
    return 0;
  }

  void Watch() {
    DWORD start = GetTickCount();
    HWND box = nullptr;
    while (!box && GetTickCount() - start < timeoutMs_) {
      EnumThreadWindows(threadId_, FindBox, reinterpret_cast<LPARAM>(&box));
      if (!box) Sleep(20);
    }
    if (!box) return;
    // Let the box finish laying itself out and painting.
    Sleep(captureDirectory_.empty() ? 100 : 700);
    seen_.found = true;
    char text[4096];
    GetWindowTextA(box, text, sizeof text);
    seen_.caption = text;
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    seen_.text = text;
    seen_.owner = GetWindow(box, GW_OWNER);
    HWND ok = GetDlgItem(box, IDOK);
    HWND cancel = GetDlgItem(box, IDCANCEL);
    seen_.okButton = ok && IsWindowVisible(ok);
    seen_.cancelButton = cancel && IsWindowVisible(cancel);
    GetWindowRect(box, &seen_.rect);
    if (!captureDirectory_.empty()) captured_ = CaptureScreen(captureDirectory_, captureName_);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
  }

  DWORD threadId_;
  std::string captureDirectory_;
  std::string captureName_;
  DWORD timeoutMs_;
  HANDLE thread_ = nullptr;
  SeenMessageBox seen_;
  bool captured_ = false;
};

}  // namespace korvelt::testing
