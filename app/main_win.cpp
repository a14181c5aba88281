#include <windows.h>

#include "app/command_line.h"
#include "app/exit_code.h"
#include "app/prerequisite_orchestrator.h"
#include "app/run.h"
#include "app/run_host_win.h"
#include "download/download_dialog_win.h"
#include "install/install_dialog_win.h"
#include "platform/clock_win.h"
#include "platform/files_win.h"
#include "platform/http_win.h"
#include "platform/log_sink_win.h"
#include "platform/message_poster_win.h"
#include "platform/sha256_win.h"
#include "platform/shell_launcher_win.h"
#include "platform/system_library_win.h"
#include "platform/threads_win.h"
#include "prereq/system_services_win.h"
#include "wizard/wizard_win.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  korvelt::RestrictDllSearch();
  const char* commandLine = GetCommandLineA();
  if (!commandLine) return korvelt::ExitNoCommandLine;
  korvelt::Win32FileSystem files;
  korvelt::Win32ProcessInfo process;
  korvelt::Win32RunHost host;
  korvelt::Win32ShellLauncher launcher;
  korvelt::Win32PrereqSystem system;
  korvelt::PrereqServices prereqServices = system.Services();
  korvelt::Win32HttpService http;
  korvelt::Win32Clock clock;
  korvelt::Win32MessagePoster poster;
  korvelt::Win32ThreadService threads;
  korvelt::Win32Sha256Service sha256;
  korvelt::DownloadServices downloads{http, files, clock, poster, threads, korvelt::SystemLeadByte, &sha256};
  korvelt::InstallServices installs{launcher, threads, poster, korvelt::SystemLeadByte, &files, &sha256, &clock,
                                    &prereqServices.detection};
  korvelt::Win32LogFile logFile;
  korvelt::RunLog log(logFile, clock);
  korvelt::Win32DownloadDialog downloadDialog;
  korvelt::Win32InstallDialog installDialog;
  korvelt::WizardServices wizardServices{downloads, installs, &downloadDialog, &installDialog};
  korvelt::Win32Wizard wizard(wizardServices);
  korvelt::PrerequisiteOrchestrator prerequisites(host, prereqServices, downloads, installs, wizard, &log,
                                                  &downloadDialog);
  korvelt::RunServices services{files, process, korvelt::SystemLeadByte, host, launcher, prerequisites, log};
  return korvelt::Run(korvelt::CutCommandTail(commandLine, korvelt::SystemLeadByte), services);
}
