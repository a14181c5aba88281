// Times the bootstrapper's file search over a folder tree: prints the
// milliseconds of each run and what was found.
//   prereq_search_bench SEARCHSTRING [RUNS]
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include "platform/files_win.h"
#include "prereq/system_services_win.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: prereq_search_bench SEARCHSTRING [RUNS]\n");
    return 2;
  }
  int runs = argc > 2 ? atoi(argv[2]) : 1;
  korvelt::Win32PrereqSystem system;
  korvelt::PrereqServices services = system.Services();
  for (int run = 0; run < runs; ++run) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    korvelt::List<korvelt::String> found;
    korvelt::SearchFile(services.detection, argv[1], found);
    QueryPerformanceCounter(&end);
    double milliseconds = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart;
    printf("run %d: %.1f ms, found %u%s%s\n", run, milliseconds, static_cast<unsigned>(found.Count()),
           found.Empty() ? "" : " ", found.Empty() ? "" : found[0].c_str());
  }
  return 0;
}
