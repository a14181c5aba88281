// The main package: the Windows Installer file the run hands over to.
#pragma once

#include "base/string.h"
#include "payload/archive.h"

namespace korvelt {

// The package's full path: the extraction folder, the main base name and
// ".msi".
bool MainPackagePath(const PayloadArchive& archive, String* path);

}  // namespace korvelt
