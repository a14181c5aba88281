// In-memory files and folders for unit tests and fuzz targets. Every handle
// it hands out must be closed exactly once: closing one twice, using one
// that is not open, or leaving one open when the fake goes away fails the
// running test, or, outside a GoogleTest test (a fuzz target), prints a
// line and aborts.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"

namespace korvelt::testing {

using Bytes = std::vector<unsigned char>;

class FakeFileSystem final : public UpdatableFileSystem {
 public:
  FakeFileSystem();
  ~FakeFileSystem();

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

  // The files, by full path, and the folders that were made.
  std::map<std::string, Bytes> files;
  std::set<std::string> folders;

  // Faults to inject.
  std::set<std::string> failCreate;   // creating these paths fails
  std::set<std::string> failDelete;   // deleting these paths fails
  long long writeCapacity = -1;       // bytes that fit on the "disk"; -1 is unlimited
  long long readFailsAfter = -1;      // reads of the payload fail once this many bytes came
  bool failFlush = false;
  // Whether a misuse aborts; true when the fake was made outside a test.
  bool abortOnMisuse;

  // What happened.
  std::vector<std::string> deleted;       // in order
  std::vector<std::string> removedFolders;
  std::vector<uint32_t> readSizes;        // every Read's size, in order
  std::vector<uint32_t> writeSizes;
  uint64_t bytesRead = 0;
  int flushes = 0;
  int truncations = 0;
  int openHandles() const { return static_cast<int>(handles_.size()); }

 private:
  struct Handle {
    std::string path;
    uint64_t position = 0;
    bool writing = false;
  };
  Handle* Find(FileId file);
  void Misuse(const std::string& what) const;

  std::map<FileId, Handle> handles_;
  std::set<FileId> closed_;
  FileId next_ = 1;
  long long written_ = 0;
};

class FakeProcessInfo final : public ProcessInfo {
 public:
  bool ModulePath(String* path) override;
  bool TempFolder(String* path) override;
  bool RandomBytes(void* into, size_t size) override;

  std::string modulePath = "C:\\Downloads\\setup.exe";
  std::string tempFolder = "C:\\Temp\\";
  bool hasModulePath = true;
  bool hasTempFolder = true;
  bool hasRandom = true;
  unsigned char nextRandom = 0;  // bytes count up from here
};

}  // namespace korvelt::testing
