// The bootstrapper's command line: the tail behind the program name, and
// the two switches of its own, "/extract:" and "/layout:", each with a
// folder.
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

// The folder named by "/layout:" at the very start of `commandTail`, read
// as the extract folder is (quoted or not, a trailing backslash added), or
// empty when layout mode is not selected; whatever follows the folder is
// not used. False only when memory runs out.
bool ParseLayoutFolder(const char* commandTail, LeadByteTest isLead, String* folder);

}  // namespace korvelt
