// The bootstrapper's process exit codes. These numbers are read by scripts
// and deployment systems; they never change.
#pragma once

namespace korvelt {

enum ExitCode : int {
  ExitSuccess = 0,
  // The system gave no command line.
  ExitNoCommandLine = -1,
  // ERROR_WRITE_FAULT: extract mode could not write an entry.
  ExitWriteFault = 82,
  // ERROR_INSTALL_USEREXIT: the user cancelled the wizard.
  ExitUserCancelled = 1602,
  // ERROR_INSTALL_SOURCE_ABSENT: a layout is incomplete: a prerequisite's
  // download is missing from its folder.
  ExitLayoutIncomplete = 1612,
  // ERROR_INSTALL_ALREADY_RUNNING: another run of the same setup is under
  // way; this one changed nothing.
  ExitAlreadyRunning = 1618,
  // ERROR_INSTALL_PACKAGE_OPEN_FAILED: the payload cannot be opened, or the
  // main package cannot be started.
  ExitPackageOpenFailed = 1619,
  // ERROR_SUCCESS_REBOOT_INITIATED: a prerequisite's program has started a
  // restart; the main package was not started, and the setup runs again
  // after the restart.
  ExitRestartStarted = 1641,
  // ERROR_SUCCESS_REBOOT_REQUIRED: the main package succeeded, and a
  // prerequisite asked for a restart.
  ExitRestartRequired = 3010,
};

}  // namespace korvelt
