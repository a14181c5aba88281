// Listing the entries of a folder that match a pattern, as the file search
// of detection walks folders.
#pragma once

#include <stdint.h>

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

// Owns one listing of a FileFinder and ends it exactly once.
class ScopedFind {
 public:
  ScopedFind(FileFinder& finder, FindId find) : finder_(finder), find_(find) {}
  ~ScopedFind() {
    if (find_) finder_.Close(find_);
  }
  ScopedFind(const ScopedFind&) = delete;
  ScopedFind& operator=(const ScopedFind&) = delete;

  FindId Get() const { return find_; }
  bool Valid() const { return find_ != 0; }

 private:
  FileFinder& finder_;
  FindId find_;
};

}  // namespace korvelt
