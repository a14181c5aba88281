// Folder keywords: "[SystemFolder]" and its kind in a file search's folder
// stand for the folder of that name on the running system.
#pragma once

#include "base/chars.h"
#include "base/string.h"
#include "platform/system_folders.h"

namespace korvelt {

// The folder a keyword (the text between the brackets, matched exactly)
// names, ending in a backslash; empty for an unknown keyword or a folder
// the system does not give. Asks the system anew on every call.
bool ResolveFolderKeyword(SystemFolders& folders, const char* keyword, size_t length, String* folder,
                          LeadByteTest isLead = NoLeadBytes);

// `text` with every "[keyword]" replaced by its folder. There is no escape
// and no nesting: a keyword is whatever lies between a "[" and the next
// "]"; a "[" without a "]" after it stays as it is. False only when memory
// runs out.
bool ExpandFolderKeywords(SystemFolders& folders, const char* text, LeadByteTest isLead, String* expanded);

}  // namespace korvelt
