// The system's folder listings, FindFirstFileA and FindNextFileA.
#pragma once

#include "platform/file_finder.h"

namespace korvelt {

class Win32FileFinder final : public FileFinder {
 public:
  FindId FindFirst(const char* pattern, FoundEntry* entry) override;
  bool FindNext(FindId find, FoundEntry* entry) override;
  void Close(FindId find) override;
};

}  // namespace korvelt
