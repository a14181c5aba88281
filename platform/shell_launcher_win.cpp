#include "platform/shell_launcher_win.h"

#include <windows.h>

#include <shellapi.h>

namespace korvelt {

static_assert(sizeof(SHELLEXECUTEINFOA) == (sizeof(void*) == 8 ? 112 : 60), "the shell expects its own record");

bool Win32ShellLauncher::OpenAndWait(const char* file, const char* parameters, uint32_t* exitCode) {
  SHELLEXECUTEINFOA execute = {};
  execute.cbSize = sizeof execute;
  execute.fMask = SEE_MASK_NOCLOSEPROCESS | (quiet_ ? SEE_MASK_FLAG_NO_UI : 0);
  execute.lpVerb = "open";
  execute.lpFile = file;
  execute.lpParameters = parameters && *parameters ? parameters : nullptr;
  execute.nShow = SW_SHOWNORMAL;
  ShellExecuteExA(&execute);
  if (!execute.hProcess) return false;
  WaitForSingleObject(execute.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(execute.hProcess, &code);
  CloseHandle(execute.hProcess);
  *exitCode = code;
  return true;
}

void Win32ShellLauncher::StayQuiet() {
  quiet_ = true;
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
}

}  // namespace korvelt
