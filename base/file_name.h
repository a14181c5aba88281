// File names as Windows stores and compares them in one folder: which
// names it keeps as written, and which two it takes for the same file.
#pragma once

#include <stdint.h>

#include "base/chars.h"

namespace korvelt {

// True for a name that Windows stores as written, as one file of a folder:
// not empty, no folder separator, drive colon or control character, none of
// < > " | ? *, no trailing dot or blank (so neither "." nor ".."), and no
// device name (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0 to COM9, LPT0 to
// LPT9, the last two also with a superscript digit), in any case, alone or
// with an extension. Checked byte by byte: a trail byte that looks like a
// separator refuses the name too, since the reader cannot know the code
// page that will write it.
bool IsPlainFileName(const char* name, uint32_t length);

// Orders names as a folder that ignores case does: ASCII letters that stand
// as characters of their own are folded; every other byte, both bytes of a
// double-byte character among them, compares as it is, since its case
// depends on the code page. 0 for two names one folder takes for the same
// file.
int CompareFileNames(const char* a, const char* b, LeadByteTest isLead);

}  // namespace korvelt
