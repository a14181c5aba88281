// The least a program can do to search a folder tree the way the
// prerequisite file search does: in each folder, one FindFirstFileA of the
// name, then, while the depth allows, a listing of "*.*" and the same in
// each subfolder, depth first, until the name is found. The file-search
// benchmark times it as its baseline.
//   search_loop FOLDER NAME DEPTH [RUNS]
// Prints the milliseconds of each run and what was found, as
// prereq_search_bench does.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

namespace {

// `path` holds a folder and its closing backslash in its first `length`
// characters; on success it holds the path found.
bool Search(char* path, size_t length, int depth, const char* name) {
  size_t nameLength = strlen(name);
  if (length + nameLength >= MAX_PATH) return false;
  memcpy(path + length, name, nameLength + 1);
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(path, &data);
  if (find != INVALID_HANDLE_VALUE) {
    FindClose(find);
    return true;
  }
  if (depth < 1 || length + 4 >= MAX_PATH) return false;
  memcpy(path + length, "*.*", 4);
  HANDLE listing = FindFirstFileA(path, &data);
  if (listing == INVALID_HANDLE_VALUE) return false;
  bool found = false;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || strcmp(data.cFileName, ".") == 0 ||
        strcmp(data.cFileName, "..") == 0) {
      continue;
    }
    size_t entryLength = strlen(data.cFileName);
    if (length + entryLength + 1 >= MAX_PATH) continue;
    memcpy(path + length, data.cFileName, entryLength);
    path[length + entryLength] = '\\';
    found = Search(path, length + entryLength + 1, depth - 1, name);
  } while (!found && FindNextFileA(listing, &data));
  FindClose(listing);
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: search_loop FOLDER NAME DEPTH [RUNS]\n");
    return 2;
  }
  int depth = atoi(argv[3]);
  int runs = argc > 4 ? atoi(argv[4]) : 1;
  size_t folderLength = strlen(argv[1]);
  if (folderLength + 2 >= MAX_PATH) return 2;
  for (int run = 0; run < runs; ++run) {
    char path[MAX_PATH];
    memcpy(path, argv[1], folderLength + 1);
    size_t length = folderLength;
    if (length > 0 && path[length - 1] != '\\') path[length++] = '\\';
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    bool found = Search(path, length, depth, argv[2]);
    QueryPerformanceCounter(&end);
    double milliseconds = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
    printf("run %d: %.1f ms, found %d%s%s\n", run, milliseconds, found ? 1 : 0, found ? " " : "", found ? path : "");
  }
  return 0;
}
