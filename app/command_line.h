// The bootstrapper's command line: the tail behind the program name, and
// the one switch of its own, "/extract:" with a folder.
#pragma once

#include "base/chars.h"
#include "base/string.h"

namespace korvelt {

// The command line behind the program name and the blanks that follow it.
// Bytes from 128 up belong to names and tails; they are never blanks.
const char* CutCommandTail(const char* commandLine, LeadByteTest isLead);

// The folder named by "/extract:" in `commandTail`, with a trailing
// backslash, or empty when extract mode is not selected. False only when
// memory runs out.
bool ParseExtractFolder(const char* commandTail, LeadByteTest isLead, String* folder);

}  // namespace korvelt
