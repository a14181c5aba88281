// The local name of a download: the file name its URL ends in, in the
// download folder. The packer checks the same names the bootstrapper saves.
#pragma once

#include "base/chars.h"
#include "base/string.h"

namespace korvelt {

// The file name of a URL: the text behind its last "/" or "\", or the
// whole text when it has neither. Points into `url`.
const char* UrlFileName(const char* url, LeadByteTest isLead);
// The local file of a download: `folder`, a backslash unless it ends in
// one, and the URL's file name.
bool LocalDownloadPath(const char* folder, const char* url, LeadByteTest isLead, String* path);

}  // namespace korvelt
