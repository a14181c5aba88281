#include "platform/files_posix.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/system_files.h"

namespace korvelt {
namespace {

// File descriptors are kept one above their value, so that 0 stays "none".
int AsDescriptor(FileId file) { return static_cast<int>(file) - 1; }
FileId AsFileId(int descriptor) { return descriptor < 0 ? 0 : static_cast<FileId>(descriptor) + 1; }

bool NativePath(const char* path, String* native) {
  if (!native->Assign(path)) return false;
  String converted;
  for (size_t i = 0; i < native->Length(); ++i) {
    char c = (*native)[i];
    if (!converted.Append(c == '\\' ? '/' : c)) return false;
  }
  *native = static_cast<String&&>(converted);
  return true;
}

}  // namespace

FileId PosixFileSystem::OpenForReading(const char* path) {
  String native;
  if (!NativePath(path, &native)) return 0;
  // Opened without waiting, so that a FIFO cannot stall the reader for a
  // writer; only a plain file is kept, and read with waiting as usual.
  int descriptor = open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return 0;
  struct stat status;
  if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) ||
      fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK) != 0) {
    close(descriptor);
    errno = EINVAL;
    return 0;
  }
  return AsFileId(descriptor);
}

FileId PosixFileSystem::CreateForWriting(const char* path) {
  String native;
  if (!NativePath(path, &native)) return 0;
  // Only a new file is ever opened: a link, a FIFO or the very file being
  // read from may bear the name, and opening it would write through the
  // link, wait for a reader, or truncate the input.
  const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  int descriptor = open(native.c_str(), flags, 0644);
  if (descriptor >= 0 || errno != EEXIST || taken_ != TakenName::ReplacePlainFile) return AsFileId(descriptor);
  struct stat status;
  if (lstat(native.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return 0;
  // Removing the name leaves any reader of the old file its bytes; should
  // something else take the name meanwhile, the exclusive open refuses it.
  if (unlink(native.c_str()) != 0) return 0;
  return AsFileId(open(native.c_str(), flags, 0644));
}

FileId PosixFileSystem::OpenForUpdate(const char* path, bool* existed) {
  *existed = false;
  String native;
  if (!NativePath(path, &native)) return 0;
  int descriptor = open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (descriptor < 0 && errno == EEXIST) {
    descriptor = open(native.c_str(), O_WRONLY | O_CLOEXEC);
    *existed = descriptor >= 0;
  }
  return AsFileId(descriptor);
}

bool PosixFileSystem::Truncate(FileId file) {
  off_t at = lseek(AsDescriptor(file), 0, SEEK_CUR);
  return at >= 0 && ftruncate(AsDescriptor(file), at) == 0;
}

bool PosixFileSystem::FindFile(const char* path, uint64_t* size) {
  String native;
  struct stat status;
  if (!NativePath(path, &native) || stat(native.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
  *size = static_cast<uint64_t>(status.st_size);
  return true;
}

bool PosixFileSystem::SeekFromStart(FileId file, uint32_t offset) {
  return lseek(AsDescriptor(file), static_cast<off_t>(offset), SEEK_SET) >= 0;
}

bool PosixFileSystem::SeekFromEnd(FileId file, uint32_t distance, uint64_t* position) {
  off_t at = lseek(AsDescriptor(file), -static_cast<off_t>(distance), SEEK_END);
  if (at < 0) return false;
  *position = static_cast<uint64_t>(at);
  return true;
}

bool PosixFileSystem::Read(FileId file, void* into, uint32_t size, uint32_t* done) {
  ssize_t count = read(AsDescriptor(file), into, size);
  *done = count > 0 ? static_cast<uint32_t>(count) : 0;
  return count >= 0;
}

bool PosixFileSystem::Write(FileId file, const void* from, uint32_t size, uint32_t* done) {
  ssize_t count = write(AsDescriptor(file), from, size);
  *done = count > 0 ? static_cast<uint32_t>(count) : 0;
  return count >= 0;
}

bool PosixFileSystem::Flush(FileId file) { return fsync(AsDescriptor(file)) == 0; }

bool PosixFileSystem::Size(FileId file, uint64_t* size) {
  struct stat status;
  if (fstat(AsDescriptor(file), &status) != 0) return false;
  *size = static_cast<uint64_t>(status.st_size);
  return true;
}

void PosixFileSystem::Close(FileId file) { close(AsDescriptor(file)); }

bool PosixFileSystem::Delete(const char* path) {
  String native;
  return NativePath(path, &native) && unlink(native.c_str()) == 0;
}

bool PosixFileSystem::CreateFolder(const char* path) {
  String native;
  return NativePath(path, &native) && mkdir(native.c_str(), 0700) == 0;
}

bool PosixFileSystem::RemoveFolder(const char* path) {
  String native;
  return NativePath(path, &native) && rmdir(native.c_str()) == 0;
}

FileSystem& SystemFileSystem(TakenName taken) {
  static PosixFileSystem refusing(TakenName::Refuse);
  static PosixFileSystem replacing(TakenName::ReplacePlainFile);
  return taken == TakenName::Refuse ? refusing : replacing;
}

bool SystemProgramPath(String* path) {
  char buffer[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
  // A result that fills the buffer may have been cut.
  if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer) return false;
  return path->Assign(buffer, static_cast<size_t>(length));
}

}  // namespace korvelt
