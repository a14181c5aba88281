// Starts the command line given in the environment variable
// KORVELT_COMMAND_LINE exactly as it stands (Wine would re-quote it as an
// argument), waits for the program and prints its full 32-bit exit code,
// which a POSIX shell would cut to 8 bits.
#include <windows.h>

#include <stdio.h>

int main() {
  char line[32768];
  DWORD length = GetEnvironmentVariableA("KORVELT_COMMAND_LINE", line, sizeof line);
  if (length == 0 || length >= sizeof line) {
    printf("no command line\n");
    return 1;
  }
  SetEnvironmentVariableA("KORVELT_COMMAND_LINE", nullptr);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    printf("cannot start: %lu\n", GetLastError());
    return 1;
  }
  printf("started %lu at tick %lu\n", process.dwProcessId, GetTickCount());
  fflush(stdout);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  printf("exit code %ld\n", static_cast<long>(code));
  fflush(stdout);
  return 0;
}
