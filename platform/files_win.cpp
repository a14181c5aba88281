#include "platform/files_win.h"

#include <windows.h>

#include "platform/own_folder_win.h"
#include "platform/system_files.h"

// RtlGenRandom, exported by advapi32 under this name.
extern "C" BOOLEAN WINAPI SystemFunction036(PVOID buffer, ULONG length);

namespace korvelt {
namespace {

HANDLE AsHandle(FileId file) { return reinterpret_cast<HANDLE>(file); }

FileId AsFileId(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<FileId>(handle);
}

// Takes a path the system wrote into a 260-byte buffer; a result that
// filled the buffer may have been cut, so it is refused.
bool TakePath(DWORD length, const char* buffer, String* path) {
  if (length == 0 || length > kMaxPathLength) return false;
  return path->Assign(buffer, length);
}

}  // namespace

FileId Win32FileSystem::OpenForReading(const char* path) {
  return AsFileId(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

FileId Win32FileSystem::CreateForWriting(const char* path) {
  return AsFileId(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

FileId Win32FileSystem::OpenForUpdate(const char* path, bool* existed) {
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  *existed = file != INVALID_HANDLE_VALUE && GetLastError() == ERROR_ALREADY_EXISTS;
  return AsFileId(file);
}

bool Win32FileSystem::Truncate(FileId file) { return SetEndOfFile(AsHandle(file)) != FALSE; }

// The size the system keeps with the file itself; a folder listing's copy
// of it may lag behind a file that is being written.
bool Win32FileSystem::FindFile(const char* path, uint64_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return false;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  *size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  return true;
}

bool Win32FileSystem::SeekFromStart(FileId file, uint32_t offset) {
  if (offset > 0x7FFFFFFF) return false;
  return SetFilePointer(AsHandle(file), static_cast<LONG>(offset), nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
}

bool Win32FileSystem::SeekFromEnd(FileId file, uint32_t distance, uint64_t* position) {
  if (distance > 0x7FFFFFFF) return false;
  LONG high = -1;
  SetLastError(NO_ERROR);
  DWORD low = SetFilePointer(AsHandle(file), -static_cast<LONG>(distance), &high, FILE_END);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return false;
  *position = (uint64_t{static_cast<DWORD>(high)} << 32) | low;
  return true;
}

bool Win32FileSystem::Read(FileId file, void* into, uint32_t size, uint32_t* done) {
  DWORD count = 0;
  BOOL ok = ReadFile(AsHandle(file), into, size, &count, nullptr);
  *done = count;
  return ok != FALSE;
}

bool Win32FileSystem::Write(FileId file, const void* from, uint32_t size, uint32_t* done) {
  DWORD count = 0;
  BOOL ok = WriteFile(AsHandle(file), from, size, &count, nullptr);
  *done = count;
  return ok != FALSE;
}

bool Win32FileSystem::Flush(FileId file) { return FlushFileBuffers(AsHandle(file)) != FALSE; }

bool Win32FileSystem::Size(FileId file, uint64_t* size) {
  DWORD high = 0;
  SetLastError(NO_ERROR);
  DWORD low = GetFileSize(AsHandle(file), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  *size = (uint64_t{high} << 32) | low;
  return true;
}

void Win32FileSystem::Close(FileId file) { CloseHandle(AsHandle(file)); }

bool Win32FileSystem::Delete(const char* path) { return DeleteFileA(path) != FALSE; }

bool Win32FileSystem::CreateFolder(const char* path) { return CreateOwnFolder(path); }

bool Win32FileSystem::RemoveFolder(const char* path) { return RemoveDirectoryA(path) != FALSE; }

bool Win32ProcessInfo::ModulePath(String* path) {
  char buffer[MAX_PATH];
  return TakePath(GetModuleFileNameA(nullptr, buffer, MAX_PATH), buffer, path);
}

bool Win32ProcessInfo::TempFolder(String* path) {
  char buffer[MAX_PATH];
  return TakePath(GetTempPathA(MAX_PATH, buffer), buffer, path);
}

bool Win32ProcessInfo::RandomBytes(void* into, size_t size) {
  return SystemFunction036(into, static_cast<ULONG>(size)) != FALSE;
}

bool SystemLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

// The bootstrapper's extraction replaces a file of the entry's name, so
// the service does so whatever is asked.
FileSystem& SystemFileSystem(TakenName) {
  static Win32FileSystem files;
  return files;
}

bool SystemProgramPath(String* path) { return Win32ProcessInfo().ModulePath(path); }

}  // namespace korvelt