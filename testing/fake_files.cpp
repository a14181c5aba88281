#include "testing/fake_files.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace korvelt::testing {

FakeFileSystem::FakeFileSystem() : abortOnMisuse(::testing::UnitTest::GetInstance()->current_test_info() == nullptr) {}

FakeFileSystem::~FakeFileSystem() {
  for (const auto& [id, handle] : handles_) Misuse("file left open: " + handle.path);
}

void FakeFileSystem::Misuse(const std::string& what) const {
  if (!abortOnMisuse) {
    ADD_FAILURE() << what;
    return;
  }
  fprintf(stderr, "FakeFileSystem: %s\n", what.c_str());
  abort();
}

FakeFileSystem::Handle* FakeFileSystem::Find(FileId file) {
  auto found = handles_.find(file);
  if (found == handles_.end()) {
    Misuse("use of a file that is not open: " + std::to_string(file));
    return nullptr;
  }
  return &found->second;
}

FileId FakeFileSystem::OpenForReading(const char* path) {
  if (!files.count(path)) return 0;
  FileId id = next_++;
  handles_[id] = Handle{path, 0, false};
  return id;
}

FileId FakeFileSystem::CreateForWriting(const char* path) {
  if (failCreate.count(path)) return 0;
  std::string folder(path);
  size_t slash = folder.rfind('\\');
  if (slash != std::string::npos && !folders.count(folder.substr(0, slash))) return 0;
  for (const auto& [id, handle] : handles_) {
    if (handle.path == path) return 0;  // not shared with anybody
  }
  files[path].clear();
  FileId id = next_++;
  handles_[id] = Handle{path, 0, true};
  return id;
}

FileId FakeFileSystem::OpenForUpdate(const char* path, bool* existed) {
  *existed = false;
  if (failCreate.count(path)) return 0;
  std::string folder(path);
  size_t slash = folder.rfind('\\');
  if (slash != std::string::npos && !folders.count(folder.substr(0, slash))) return 0;
  for (const auto& [id, handle] : handles_) {
    if (handle.path == path) return 0;  // not shared with anybody
  }
  *existed = files.count(path) > 0;
  files[path];
  FileId id = next_++;
  handles_[id] = Handle{path, 0, true};
  return id;
}

bool FakeFileSystem::Truncate(FileId file) {
  Handle* handle = Find(file);
  if (!handle || !handle->writing) return false;
  Bytes& bytes = files[handle->path];
  if (bytes.size() > handle->position) bytes.resize(handle->position);
  ++truncations;
  return true;
}

bool FakeFileSystem::FindFile(const char* path, uint64_t* size) {
  auto found = files.find(path);
  if (found == files.end()) return false;
  *size = found->second.size();
  return true;
}

bool FakeFileSystem::SeekFromStart(FileId file, uint32_t offset) {
  Handle* handle = Find(file);
  if (!handle || offset > 0x7FFFFFFF) return false;
  handle->position = offset;
  return true;
}

bool FakeFileSystem::SeekFromEnd(FileId file, uint32_t distance, uint64_t* position) {
  Handle* handle = Find(file);
  if (!handle) return false;
  uint64_t size = files[handle->path].size();
  if (distance > size) return false;
  handle->position = size - distance;
  *position = handle->position;
  return true;
}

bool FakeFileSystem::Read(FileId file, void* into, uint32_t size, uint32_t* done) {
  *done = 0;
  Handle* handle = Find(file);
  if (!handle || handle->writing) return false;
  readSizes.push_back(size);
  const Bytes& bytes = files[handle->path];
  if (readFailsAfter >= 0 && bytesRead >= static_cast<uint64_t>(readFailsAfter)) return false;
  uint64_t available = handle->position < bytes.size() ? bytes.size() - handle->position : 0;
  uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(available, size));
  if (count) memcpy(into, bytes.data() + handle->position, count);
  handle->position += count;
  bytesRead += count;
  *done = count;
  return true;
}

bool FakeFileSystem::Write(FileId file, const void* from, uint32_t size, uint32_t* done) {
  *done = 0;
  Handle* handle = Find(file);
  if (!handle || !handle->writing) return false;
  writeSizes.push_back(size);
  uint32_t count = size;
  if (writeCapacity >= 0) count = static_cast<uint32_t>(std::min<long long>(size, std::max(0LL, writeCapacity - written_)));
  if (count == 0 && size > 0) return false;
  Bytes& bytes = files[handle->path];
  if (bytes.size() < handle->position + count) bytes.resize(handle->position + count);
  memcpy(bytes.data() + handle->position, from, count);
  handle->position += count;
  written_ += count;
  *done = count;
  return true;
}

bool FakeFileSystem::Flush(FileId file) {
  Handle* handle = Find(file);
  ++flushes;
  return handle && handle->writing && !failFlush;
}

bool FakeFileSystem::Size(FileId file, uint64_t* size) {
  Handle* handle = Find(file);
  if (!handle) return false;
  *size = files[handle->path].size();
  return true;
}

void FakeFileSystem::Close(FileId file) {
  if (closed_.count(file)) {
    Misuse("file closed twice: " + std::to_string(file));
    return;
  }
  if (!Find(file)) return;
  handles_.erase(file);
  closed_.insert(file);
}

bool FakeFileSystem::Delete(const char* path) {
  if (failDelete.count(path) || !files.count(path)) return false;
  for (const auto& [id, handle] : handles_) {
    if (handle.path == path) return false;  // in use
  }
  files.erase(path);
  deleted.push_back(path);
  return true;
}

bool FakeFileSystem::CreateFolder(const char* path) {
  std::string folder(path);
  if (folders.count(folder) || files.count(folder)) return false;
  size_t slash = folder.rfind('\\');
  if (slash != std::string::npos && !folders.count(folder.substr(0, slash))) return false;
  folders.insert(folder);
  return true;
}

bool FakeFileSystem::RemoveFolder(const char* path) {
  std::string folder = std::string(path) + "\\";
  for (const auto& [name, bytes] : files) {
    if (name.compare(0, folder.size(), folder) == 0) return false;  // not empty
  }
  if (!folders.erase(path)) return false;
  removedFolders.push_back(path);
  return true;
}

bool FakeProcessInfo::ModulePath(String* path) { return hasModulePath && path->Assign(modulePath.c_str()); }

bool FakeProcessInfo::TempFolder(String* path) { return hasTempFolder && path->Assign(tempFolder.c_str()); }

bool FakeProcessInfo::RandomBytes(void* into, size_t size) {
  if (!hasRandom) return false;
  auto* bytes = static_cast<unsigned char*>(into);
  for (size_t i = 0; i < size; ++i) bytes[i] = nextRandom++;
  return true;
}

}  // namespace korvelt::testing
