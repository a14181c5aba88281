// Message boxes whose texts come from the bootstrapper's string table.
#pragma once

#include <windows.h>

#include "payload/format.h"

namespace korvelt {

// Shows the message for a payload failure: no owner, the system's default
// caption, OK and the error icon. Returns 1 without showing anything for
// `Ok`, else 0 once the box has been closed.
int ShowPayloadError(PayloadError code);

// Shows a message box. `text` and `caption` are each a ready text or a
// string-table identifier made with MAKEINTRESOURCEA (a value below
// 65,536); a null caption leaves the caption to the system. Strings of any
// length are loaded whole. Returns the box's result, or 0 when no box could
// be shown (memory ran out).
int ShowStringMessage(HWND owner, const char* text, const char* caption, UINT style);

// Loads string `id` of `module` whole into a heap block the caller frees
// with free(); null when memory runs out. A missing string loads as "".
char* LoadResourceText(HMODULE module, UINT id);

}  // namespace korvelt
