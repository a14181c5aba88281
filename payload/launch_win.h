// Opening the main package through the shell, and waiting for it.
#pragma once

#include <stdint.h>

namespace korvelt {

// Asks the shell to "open" the package with `parameters` (none when empty)
// and waits without a limit for the process it started. False when no
// process came back; otherwise `exitCode` is that process's exit code.
bool LaunchMainPackage(const char* packagePath, const char* parameters, uint32_t* exitCode);

}  // namespace korvelt
