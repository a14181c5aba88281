// The files and folders the core reads and writes, and the facts about the
// running process that locate them. The Win32 build passes the system's own
// services; unit tests pass the in-memory fakes of testing/.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "base/scoped.h"
#include "base/string.h"

namespace korvelt {

// An open file as the service names it; 0 is no file.
using FileId = uintptr_t;

class FileSystem {
 public:
  // Opens an existing file for reading, sharing it with other readers.
  virtual FileId OpenForReading(const char* path) = 0;
  // Creates `path` for writing, shared with nobody. Whether a file of that
  // name is replaced is the service's: the Win32 one replaces it, the POSIX
  // one refuses it unless told otherwise (platform/system_files.h).
  virtual FileId CreateForWriting(const char* path) = 0;
  // Positions `file` `offset` bytes from its start (below 2^31).
  virtual bool SeekFromStart(FileId file, uint32_t offset) = 0;
  // Positions `file` `distance` bytes before its end and reports where that
  // is from the start; fails when it would lie before the start.
  virtual bool SeekFromEnd(FileId file, uint32_t distance, uint64_t* position) = 0;
  // Reads up to `size` bytes; `done` is how many came (0 at the end).
  virtual bool Read(FileId file, void* into, uint32_t size, uint32_t* done) = 0;
  virtual bool Write(FileId file, const void* from, uint32_t size, uint32_t* done) = 0;
  virtual bool Flush(FileId file) = 0;
  virtual bool Size(FileId file, uint64_t* size) = 0;
  // Closes a file this service opened; every file is closed exactly once.
  virtual void Close(FileId file) = 0;
  virtual bool Delete(const char* path) = 0;
  // Makes a new folder that only the running user (and, on Windows, SYSTEM
  // and the Administrators) may use, whatever its parent allows; fails when
  // something of that name exists already.
  virtual bool CreateFolder(const char* path) = 0;
  virtual bool RemoveFolder(const char* path) = 0;

 protected:
  ~FileSystem() = default;
};

// The files of downloads, which outlive a run and are continued by the
// next: opened for update, shortened, looked up by path.
class UpdatableFileSystem : public FileSystem {
 public:
  // Opens `path` for writing at its first byte, shared with nobody, and
  // makes it when it is missing; `existed` tells whether it was there.
  virtual FileId OpenForUpdate(const char* path, bool* existed) = 0;
  // Ends `file` at its current position; what lay behind it is gone.
  virtual bool Truncate(FileId file) = 0;
  // Looks `path` up without opening it: true, with its size, when a file
  // (not a folder) of that name exists.
  virtual bool FindFile(const char* path, uint64_t* size) = 0;

 protected:
  ~UpdatableFileSystem() = default;
};

class ProcessInfo {
 public:
  // The full path of the running executable; false when the system gives
  // none or it does not fit a 260-byte buffer.
  virtual bool ModulePath(String* path) = 0;
  // The user's temporary folder, as the system gives it; false likewise.
  virtual bool TempFolder(String* path) = 0;
  // Fills `into` with unpredictable bytes; false when the system has none.
  virtual bool RandomBytes(void* into, size_t size) = 0;

 protected:
  ~ProcessInfo() = default;
};

using ScopedFile = Scoped<FileSystem, FileId>;

// The longest path the system's 260-byte buffers hold.
constexpr size_t kMaxPathLength = 259;

}  // namespace korvelt
