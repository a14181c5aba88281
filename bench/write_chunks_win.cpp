// The least a program can do to save a download the way the download
// worker does: the bytes go to a new file in 8 KiB chunks, each written
// with one WriteFile and flushed with FlushFileBuffers before the next. The
// bytes are read, in the same chunks, from a local copy of the file. The
// download benchmark times it as its baseline.
//   write_chunks SOURCE TARGET [noflush]
// "noflush" leaves the flushes out. Prints the tick count at its start and
// once the file is written and closed; exits with 0 when the whole source
// was written, 1 otherwise, 2 for other arguments.
#include <stdio.h>
#include <string.h>
#include <windows.h>

namespace {

constexpr DWORD kChunk = 8192;

bool WriteChunks(HANDLE source, HANDLE target, bool flush) {
  static char buffer[kChunk];
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(source, buffer, kChunk, &read, nullptr)) return false;
    if (read == 0) return true;
    DWORD written = 0;
    if (!WriteFile(target, buffer, read, &written, nullptr) || written != read) return false;
    if (flush && !FlushFileBuffers(target)) return false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  printf("started at tick %lu\n", GetTickCount());
  if (argc < 3 || argc > 4 || (argc == 4 && strcmp(argv[3], "noflush") != 0)) {
    fprintf(stderr, "usage: write_chunks SOURCE TARGET [noflush]\n");
    return 2;
  }
  HANDLE source = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
  if (source == INVALID_HANDLE_VALUE) return 1;
  HANDLE target = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  bool ok = target != INVALID_HANDLE_VALUE && WriteChunks(source, target, argc == 3);
  if (target != INVALID_HANDLE_VALUE) CloseHandle(target);
  CloseHandle(source);
  printf("written at tick %lu\n", GetTickCount());
  return ok ? 0 : 1;
}
