// DLLs the bootstrapper loads at run time. A setup program runs from a
// Downloads folder, often elevated, so a DLL is only ever taken by its full
// path in the system folder, never found by the search order.
#pragma once

#include <windows.h>

namespace korvelt {

// Loads `name` ("riched32.dll") from the system folder; null on failure.
HMODULE LoadSystemLibrary(const char* name);

// Restricts the process's own DLL search to the system folder; called
// first thing, before anything can load a DLL.
void RestrictDllSearch();

}  // namespace korvelt
