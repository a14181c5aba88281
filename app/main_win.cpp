#include <windows.h>

#include "app/command_line.h"
#include "app/exit_code.h"
#include "app/run.h"
#include "platform/files_win.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const char* commandLine = GetCommandLineA();
  if (!commandLine) return korvelt::ExitNoCommandLine;
  korvelt::Win32FileSystem files;
  korvelt::Win32ProcessInfo process;
  korvelt::RunServices services{files, process, korvelt::SystemLeadByte};
  return korvelt::Run(korvelt::CutCommandTail(commandLine, korvelt::SystemLeadByte), services);
}
