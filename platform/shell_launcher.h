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

 protected:
  ~ShellLauncher() = default;
};

}  // namespace korvelt
