// Opening a file through the shell, as a double-click would, and waiting
// for what the shell started: the main package and the prerequisites'
// setup programs are run this way.
#pragma once

#include <stdint.h>

namespace korvelt {

class ShellLauncher {
 public:
  // Asks the shell to "open" `file` with `parameters` (none when empty) and
  // waits without a limit for the process it started. False when no
  // process came back; otherwise `exitCode` is that process's exit code.
  virtual bool OpenAndWait(const char* file, const char* parameters, uint32_t* exitCode) = 0;
  // From now on neither the shell nor the system shows an error box for
  // what is opened (a file that is no program, a DLL that is missing, a
  // crash): in a quiet run nobody is there to close one. The process's
  // error mode, which the programs it starts inherit, stays so.
  virtual void StayQuiet() = 0;

 protected:
  ~ShellLauncher() = default;
};

}  // namespace korvelt
