// Counts the bytes the footer search reads from a setup on disk.
#include <stdio.h>

#include "payload/format.h"
#include "platform/files_posix.h"

using namespace korvelt;

namespace {

class CountingFiles final : public FileSystem {
 public:
  FileId OpenForReading(const char* path) override { return files.OpenForReading(path); }
  FileId CreateForWriting(const char* path) override { return files.CreateForWriting(path); }
  bool SeekFromStart(FileId file, uint32_t offset) override { return files.SeekFromStart(file, offset); }
  bool SeekFromEnd(FileId file, uint32_t distance, uint64_t* position) override {
    return files.SeekFromEnd(file, distance, position);
  }
  bool Read(FileId file, void* into, uint32_t size, uint32_t* done) override {
    bool ok = files.Read(file, into, size, done);
    bytes += *done;
    ++reads;
    return ok;
  }
  bool Write(FileId file, const void* from, uint32_t size, uint32_t* done) override {
    return files.Write(file, from, size, done);
  }
  bool Flush(FileId file) override { return files.Flush(file); }
  bool Size(FileId file, uint64_t* size) override { return files.Size(file, size); }
  void Close(FileId file) override { files.Close(file); }
  bool Delete(const char* path) override { return files.Delete(path); }
  bool CreateFolder(const char* path) override { return files.CreateFolder(path); }
  bool RemoveFolder(const char* path) override { return files.RemoveFolder(path); }

  PosixFileSystem files;
  unsigned long long bytes = 0;
  unsigned reads = 0;
};

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    CountingFiles files;
    FileId file = files.OpenForReading(argv[i]);
    if (!file) return 1;
    PayloadFooter footer;
    int32_t shift = 0;
    PayloadError result = ReadFooter(files, file, &footer, &shift);
    files.Close(file);
    printf("%s: result %d, %llu bytes in %u reads\n", argv[i], static_cast<int>(result), files.bytes, files.reads);
  }
  return 0;
}
