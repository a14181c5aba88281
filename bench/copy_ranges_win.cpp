// The least a program can do to extract a setup: copies byte ranges of one
// file into new files with the calls the bootstrapper's extraction makes,
// one 64 KiB buffer per file and a flush before each file is closed. The
// extraction benchmarks time it as their baseline.
//   copy_ranges SOURCE OFFSET SIZE TARGET [OFFSET SIZE TARGET ...]
// Prints the tick count at its start and once every range is copied; exits
// with 0 when every range was copied whole, 1 otherwise.
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

namespace {

constexpr DWORD kBufferSize = 65536;

bool CopyRange(HANDLE source, DWORD offset, DWORD size, const char* targetPath) {
  void* buffer = malloc(kBufferSize);
  if (!buffer) return false;
  HANDLE target = CreateFileA(targetPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  bool ok = target != INVALID_HANDLE_VALUE &&
            SetFilePointer(source, static_cast<LONG>(offset), nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
  DWORD remaining = size;
  while (ok && remaining > 0) {
    DWORD want = remaining < kBufferSize ? remaining : kBufferSize;
    DWORD read = 0;
    DWORD written = 0;
    ok = ReadFile(source, buffer, want, &read, nullptr) && read > 0 &&
         WriteFile(target, buffer, read, &written, nullptr) && written == read;
    remaining -= written;
  }
  if (target != INVALID_HANDLE_VALUE) {
    ok = FlushFileBuffers(target) && ok;
    CloseHandle(target);
  }
  free(buffer);
  return ok && remaining == 0;
}

}  // namespace

int main(int argc, char** argv) {
  printf("started at tick %lu\n", GetTickCount());
  if (argc < 5 || (argc - 2) % 3 != 0) {
    fprintf(stderr, "usage: copy_ranges SOURCE OFFSET SIZE TARGET [OFFSET SIZE TARGET ...]\n");
    return 2;
  }
  HANDLE source = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
  if (source == INVALID_HANDLE_VALUE) return 1;
  bool ok = true;
  for (int i = 2; ok && i + 2 < argc; i += 3) {
    ok = CopyRange(source, strtoul(argv[i], nullptr, 10), strtoul(argv[i + 1], nullptr, 10), argv[i + 2]);
  }
  CloseHandle(source);
  printf("copied at tick %lu\n", GetTickCount());
  return ok ? 0 : 1;
}
