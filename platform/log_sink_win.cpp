#include "platform/log_sink_win.h"

namespace korvelt {

Win32LogFile::~Win32LogFile() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

bool Win32LogFile::Open(const char* path) {
  if (file_ != INVALID_HANDLE_VALUE) return false;
  // Append-only access puts every write at the end, also when another
  // process appends to the same file; the sharing lets it be read (or
  // followed) while the setup runs.
  file_ = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
  return file_ != INVALID_HANDLE_VALUE;
}

void Win32LogFile::Write(const char* text, size_t length) {
  if (file_ == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file_, text, static_cast<DWORD>(length), &written, nullptr);
}

}  // namespace korvelt
