// Loads DLLs by bare name, the way an unguarded program does: the control
// that shows a planted DLL beside a program is found and run.
#include <windows.h>

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) LoadLibraryA(argv[i]);
  return 0;
}
