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
  // ERROR_INSTALL_ALREADY_RUNNING: another run of the same setup is under
  // way; this one changed nothing.
  ExitAlreadyRunning = 1618,
  // ERROR_INSTALL_PACKAGE_OPEN_FAILED: the payload cannot be opened, or the
  // main package cannot be started.
  ExitPackageOpenFailed = 1619,
};

}  // namespace korvelt
