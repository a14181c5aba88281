// Extract mode: every payload entry copied into a folder, silently.
#pragma once

#include "payload/archive.h"

namespace korvelt {

// Opens the payload into `folder`, writes every entry and keeps the files.
// Shows nothing; the exit code tells what happened: 0 when every entry was
// written; 1619 when the payload cannot be opened, and then nothing is
// written; 82 when an entry of the opened payload cannot be written, and
// then the entries before it stay written.
int RunExtractMode(PayloadArchive& archive, const char* folder);

}  // namespace korvelt
