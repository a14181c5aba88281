#include "prereq/download_name.h"

#include "base/file_name.h"

namespace korvelt {

const char* UrlFileName(const char* url, LeadByteTest isLead, size_t* length) {
  const char* name = url;
  const char* at = url;
  for (; *at && *at != '?' && *at != '#'; at = NextChar(at, isLead)) {
    if (*at == '/' || *at == '\\') name = at + 1;
  }
  *length = static_cast<size_t>(at - name);
  return name;
}

bool DownloadFileName(const char* url, const char* fileName, LeadByteTest isLead, String* name) {
  if (*fileName) return name->Assign(fileName);
  size_t length = 0;
  const char* start = UrlFileName(url, isLead, &length);
  return name->Assign(start, length);
}

bool LocalDownloadPath(const char* folder, const char* url, const char* fileName, LeadByteTest isLead,
                       String* path) {
  String name;
  if (!DownloadFileName(url, fileName, isLead, &name) ||
      !IsPlainFileName(name.c_str(), static_cast<uint32_t>(name.Length()))) {
    return false;
  }
  if (!path->Assign(folder)) return false;
  if (!EndsWithBackslash(path->c_str(), path->Length(), isLead) && !path->Append('\\')) return false;
  return path->Append(name);
}

}  // namespace korvelt
