// Version resources through version.dll, which is loaded from the system
// folder when first needed rather than imported: the bootstrapper imports
// only DLLs the loader always takes from the system folder, so that a
// version.dll planted beside a downloaded setup is never run.
#pragma once

#include "base/string.h"
#include "platform/version_info.h"

namespace korvelt {

class Win32VersionReader final : public VersionReader {
 public:
  uint32_t ReadFileVersion(const char* path, uint32_t* mostSignificant, uint32_t* leastSignificant) override;
};

// Reads the string `name` of block `block` (such as "040904b0") of the
// version resource of the file at `path`, e.g. its "ProductName". False,
// with `value` unchanged, when the file has no such string or memory runs
// out.
bool ReadVersionString(const char* path, const char* block, const char* name, String* value);

// The product name of the file at `path`: `name` becomes the ProductName of
// block 040904b0 when there is one that is not empty, and is left alone
// otherwise. True whenever the version information could be read, with or
// without that name; false when the file has none or memory runs out.
bool ReadProductName(const char* path, String* name);

}  // namespace korvelt
