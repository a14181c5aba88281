#include "app/run_shell_win.h"

#include <objbase.h>

#include "app/payload_message_win.h"
#include "app/restart_win.h"
#include "platform/system_library_win.h"
#include "platform/version_win.h"
#include "ui/messages_win.h"
#include "ui/status_window_win.h"

namespace korvelt {

void Win32RunShell::StartSession() {
  CoInitialize(nullptr);
  // The Information page's rich-edit control needs the library's class.
  richEdit_ = LoadSystemLibrary("riched32.dll");
}

void Win32RunShell::EndSession() {
  if (richEdit_) FreeLibrary(richEdit_);
  richEdit_ = nullptr;
  CoUninitialize();
}

void Win32RunShell::ShowPayloadError(PayloadError error) { korvelt::ShowPayloadError(error); }

bool Win32RunShell::ReadProductName(const char* exePath, String* name) {
  return korvelt::ReadProductName(exePath, name);
}

void Win32RunShell::OpenStatus(const char* caption, unsigned textId) {
  status_ = OpenStatusWindow();
  if (!status_) return;
  SetWindowTextA(status_, caption);
  if (textId) {
    String text;
    if (LoadResourceText(GetModuleHandleA(nullptr), textId, &text)) SetStatusText(status_, text.c_str());
  }
  RepaintStatusWindow(status_);
}

void Win32RunShell::CloseStatus() {
  if (status_) DestroyWindow(status_);
  status_ = nullptr;
}

void Win32RunShell::RegisterRestart(const char* runValueName) { korvelt::RegisterRestart(runValueName); }

void Win32RunShell::UnregisterRestart(const char* runValueName) { korvelt::UnregisterRestart(runValueName); }

}  // namespace korvelt
