// The run sequence: everything the bootstrapper does between reading its
// command line and ending.
#pragma once

#include "base/chars.h"
#include "platform/files.h"

namespace korvelt {

// The services one run reaches the machine through.
struct RunServices {
  FileSystem& files;
  ProcessInfo& process;
  LeadByteTest isLead;
};

// Runs the bootstrapper with the command line behind the program name and
// returns the process exit code.
int Run(const char* commandTail, RunServices& services);

}  // namespace korvelt
