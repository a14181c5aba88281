// Files and folders of a POSIX system behind the FileSystem interface, for
// the native packer. Backslashes in paths are taken as folder separators,
// as the payload code writes them. CreateForWriting opens only a file it
// has just made, never through a link; what it does with a name that is
// taken is `TakenName` (platform/system_files.h).
#pragma once

#include "platform/files.h"
#include "platform/system_files.h"

namespace korvelt {

class PosixFileSystem final : public UpdatableFileSystem {
 public:
  explicit PosixFileSystem(TakenName taken = TakenName::Refuse) : taken_(taken) {}

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

 private:
  TakenName taken_;
};

}  // namespace korvelt
