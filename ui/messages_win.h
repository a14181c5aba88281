// Message boxes whose texts come from the program's string table.
#pragma once

#include <windows.h>

#include "base/string.h"

namespace korvelt {

// Shows a message box. `text` and `caption` are each a ready text or a
// string-table identifier made with MAKEINTRESOURCEA (a value below
// 65,536); a null caption leaves the caption to the system. Strings of any
// length are loaded whole. Returns the box's result, or 0 when no box could
// be shown (memory ran out).
int ShowStringMessage(HWND owner, const char* text, const char* caption, UINT style);

// Loads string `id` of `module` whole into `text`; false when memory runs
// out. A missing string loads as "".
bool LoadResourceText(HMODULE module, UINT id, String* text);

}  // namespace korvelt
