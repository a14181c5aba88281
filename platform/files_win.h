// The system's own files, folders and process facts, through the A calls.
#pragma once

#include "platform/files.h"

namespace korvelt {

class Win32FileSystem final : public UpdatableFileSystem {
 public:
  FileId OpenForReading(const char* path) override;
  FileId CreateForWriting(const char* path) override;
  FileId OpenForUpdate(const char* path, bool* existed) override;
  bool Truncate(FileId file) override;
  bool FindFile(const char* path, uint64_t* size) override;
  bool SeekFromStart(FileId file, uint32_t offset) override;
  bool SeekFromEnd(FileId file, uint32_t distance, uint64_t* position) override;
  bool Read(FileId file, void* into, uint32_t size, uint32_t* done) override;
  bool Write(FileId file, const void* from, uint32_t size, uint32_t* done) override;
  bool Flush(FileId file) override;
  bool Size(FileId file, uint64_t* size) override;
  void Close(FileId file) override;
  bool Delete(const char* path) override;
  bool CreateFolder(const char* path) override;
  bool RemoveFolder(const char* path) override;
};

class Win32ProcessInfo final : public ProcessInfo {
 public:
  bool ModulePath(String* path) override;
  bool TempFolder(String* path) override;
  bool RandomBytes(void* into, size_t size) override;
};

// The system's test for the first byte of a double-byte character.
bool SystemLeadByte(unsigned char byte);

}  // namespace korvelt
