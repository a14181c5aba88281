// Listing the entries of a folder that match a pattern, as the file search
// of detection walks folders.
#pragma once

#include <stdint.h>

#include "base/scoped.h"

namespace korvelt {

// One entry of a listing. `name` holds the entry's name within its folder.
struct FoundEntry {
  char name[260];
  bool isFolder;
};

// An open listing as the service names it; 0 is none.
using FindId = uintptr_t;

class FileFinder {
 public:
  // Starts listing what matches `pattern` (a folder followed by a name that
  // may hold the platform's wildcards) and fills `entry` with the first
  // match; 0 when nothing matches.
  virtual FindId FindFirst(const char* pattern, FoundEntry* entry) = 0;
  // Fills `entry` with the next match; false at the end of the listing.
  virtual bool FindNext(FindId find, FoundEntry* entry) = 0;
  // Ends a listing this service started; every listing is ended exactly once.
  virtual void Close(FindId find) = 0;

 protected:
  ~FileFinder() = default;
};

using ScopedFind = Scoped<FileFinder, FindId>;

}  // namespace korvelt
