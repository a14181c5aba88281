// A prerequisite's setup program for the end-to-end tests. It appends one
// line to the log named by /log:PATH, "NAME|its own path|its command tail",
// and exits with the code given by /exit:N (0 without it), after /wait:MS
// milliseconds (none without it). PATH holds no
// blank; /name:NAME is only copied into the line. Without /log: the log is
// the file named by the environment variable KORVELT_PREREQ_LOG, and
// without /exit: the code is KORVELT_PREREQ_EXIT's, so that a
// configuration can give the command line a real setup program would get.
#include <windows.h>

#include <stdlib.h>
#include <string.h>

namespace {

// The command tail: what follows the program's name, quoted or not.
const char* Tail(const char* line) {
  if (*line == '"') {
    line = strchr(line + 1, '"');
    if (!line) return "";
    ++line;
  } else {
    while (*line && *line != ' ') ++line;
  }
  while (*line == ' ') ++line;
  return line;
}

// The value of `/key:` up to the next blank, copied into `value`.
bool Option(const char* tail, const char* key, char* value, size_t size) {
  const char* found = strstr(tail, key);
  if (!found) return false;
  found += strlen(key);
  size_t length = strcspn(found, " ");
  if (length >= size) return false;
  memcpy(value, found, length);
  value[length] = '\0';
  return true;
}

}  // namespace

int main() {
  const char* tail = Tail(GetCommandLineA());
  char log[MAX_PATH], name[64] = "", code[16] = "0", wait[16] = "0", self[MAX_PATH];
  if (!Option(tail, "/log:", log, sizeof log)) {
    DWORD length = GetEnvironmentVariableA("KORVELT_PREREQ_LOG", log, sizeof log);
    if (length == 0 || length >= sizeof log) return 2;
  }
  Option(tail, "/name:", name, sizeof name);
  if (!Option(tail, "/exit:", code, sizeof code)) {
    DWORD length = GetEnvironmentVariableA("KORVELT_PREREQ_EXIT", code, sizeof code);
    if (length == 0 || length >= sizeof code) lstrcpyA(code, "0");
  }
  Option(tail, "/wait:", wait, sizeof wait);
  GetModuleFileNameA(nullptr, self, sizeof self);

  HANDLE file = CreateFileA(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  const char* parts[] = {name, "|", self, "|", tail, "\r\n"};
  for (const char* part : parts) {
    DWORD written = 0;
    WriteFile(file, part, static_cast<DWORD>(strlen(part)), &written, nullptr);
  }
  CloseHandle(file);
  // A program that takes a moment, as real setup programs do, so that a
  // window shown while it runs lasts long enough to be seen.
  Sleep(static_cast<DWORD>(atoi(wait)));
  return atoi(code);
}
