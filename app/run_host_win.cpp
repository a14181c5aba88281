#include "app/run_host_win.h"

#include <objbase.h>

#include "app/payload_message_win.h"
#include "app/restart_win.h"
#include "app/single_run.h"
#include "base/decimal.h"
#include "platform/files_win.h"
#include "platform/system_library_win.h"
#include "platform/version_info_win.h"
#include "ui/messages_win.h"
#include "ui/status_window_win.h"

namespace korvelt {

void Win32RunHost::StartSession() {
  CoInitialize(nullptr);
  // The Information page's rich-edit control needs the library's class.
  richEdit_ = LoadSystemLibrary("riched32.dll");
}

void Win32RunHost::EndSession() {
  if (singleRun_) CloseHandle(singleRun_);
  singleRun_ = nullptr;
  if (richEdit_) FreeLibrary(richEdit_);
  richEdit_ = nullptr;
  CoUninitialize();
}

void Win32RunHost::ShowPayloadError(PayloadError error) { korvelt::ShowPayloadError(error); }

bool Win32RunHost::ReadProductName(const char* exePath, String* name) {
  return korvelt::ReadProductName(exePath, name);
}

void Win32RunHost::OpenStatus(const char* caption, unsigned textId) {
  status_ = OpenStatusWindow();
  if (!status_) return;
  SetWindowTextA(status_, caption);
  if (textId) {
    String text;
    if (LoadResourceText(GetModuleHandleA(nullptr), textId, &text)) SetStatusText(status_, text.c_str());
  }
  RepaintStatusWindow(status_);
}

void Win32RunHost::CloseStatus() {
  if (status_) DestroyWindow(status_);
  status_ = nullptr;
}

void Win32RunHost::RegisterRestart(const char* runValueName) { korvelt::RegisterRestart(runValueName); }

void Win32RunHost::UnregisterRestart(const char* runValueName) { korvelt::UnregisterRestart(runValueName); }

bool Win32RunHost::ClaimSingleRun(const char* exePath) {
  char name[kSingleRunNameSize];
  SingleRunName(exePath, SystemLeadByte, name);
  HANDLE lock = CreateMutexA(nullptr, FALSE, name);
  if (!lock) return true;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(lock);
    return false;
  }
  singleRun_ = lock;
  return true;
}

void Win32RunHost::ShowAlreadyRunning(const char* runTitle) {
  ShowStringMessage(nullptr, "This setup is already running. Wait until it has finished.", runTitle,
                    MB_ICONINFORMATION | MB_OK);
}

}  // namespace korvelt

namespace korvelt {

bool Win32RunHost::EnvironmentValue(const char* name, String* value) {
  char buffer[MAX_PATH];
  DWORD length = GetEnvironmentVariableA(name, buffer, sizeof buffer);
  return length > 0 && length < sizeof buffer && value->Assign(buffer, length);
}

bool Win32RunHost::WindowsVersion(String* text) {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version)) return false;
  char number[3 * 11 + 3];
  char* end = number;
  for (DWORD part : {version.dwMajorVersion, version.dwMinorVersion, version.dwBuildNumber}) {
    if (end != number) *end++ = '.';
    end = WriteDecimal(end, part);
  }
  return text->Assign(number, static_cast<size_t>(end - number)) &&
         (!version.szCSDVersion[0] || (text->Append(" ") && text->Append(version.szCSDVersion)));
}

bool Win32RunHost::FullPath(const char* path, String* full) {
  char buffer[MAX_PATH];
  DWORD length = GetFullPathNameA(path, sizeof buffer, buffer, nullptr);
  return length > 0 && length < sizeof buffer && full->Assign(buffer, length);
}

bool Win32RunHost::MakeFolder(const char* path) {
  if (CreateDirectoryA(path, nullptr)) return true;
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void Win32RunHost::ShowLayoutFailure(const char* runTitle, const char* text) {
  ShowStringMessage(nullptr, text, runTitle, MB_ICONERROR | MB_OK);
}

}  // namespace korvelt
