// The local name of a download: the file name its URL ends in, or the name
// its author gave, in the download folder. The packer checks the same
// names the bootstrapper saves.
#pragma once

#include <stddef.h>

#include "base/chars.h"
#include "base/string.h"

namespace korvelt {

// The file name of a URL: of the text before its query ("?") or fragment
// ("#"), the part behind the last "/" or "\", or all of it when it has
// neither. Points into `url`, `*length` bytes long.
const char* UrlFileName(const char* url, LeadByteTest isLead, size_t* length);

// The local name of a download: `fileName` when it is not empty, else the
// URL's file name. False when memory runs out.
bool DownloadFileName(const char* url, const char* fileName, LeadByteTest isLead, String* name);

// The local file of a download: `folder`, a backslash unless it ends in
// one, and its local name. False when that name is not one Windows stores
// as written (empty, a device, a separator, a trailing dot...), so that the
// download cannot be saved, or when memory runs out.
bool LocalDownloadPath(const char* folder, const char* url, const char* fileName, LeadByteTest isLead,
                       String* path);

}  // namespace korvelt
