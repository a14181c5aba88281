#include "prereq/download_name.h"

namespace korvelt {

const char* UrlFileName(const char* url, LeadByteTest isLead) {
  const char* name = url;
  for (const char* at = url; *at; at = NextChar(at, isLead)) {
    if (*at == '/' || *at == '\\') name = at + 1;
  }
  return name;
}

bool LocalDownloadPath(const char* folder, const char* url, LeadByteTest isLead, String* path) {
  if (!path->Assign(folder)) return false;
  if (!EndsWithBackslash(path->c_str(), path->Length(), isLead) && !path->Append('\\')) return false;
  return path->Append(UrlFileName(url, isLead));
}

}  // namespace korvelt
