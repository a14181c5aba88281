#include "prereq/detection.h"

#include <string.h>

#include "base/chars.h"
#include "prereq/config.h"
#include "prereq/folder_keywords.h"
#include "prereq/version.h"

namespace korvelt {

bool ParseFileSearch(const char* searchString, LeadByteTest isLead, FileSearchTarget* target) {
  String text;
  if (!text.Assign(searchString)) return false;
  target->depth = 0;
  // A "?" at the very start is part of the name, not a depth.
  size_t question = FindCharacter(text.c_str(), 0, '?', isLead);
  if (question != kNoPosition && question > 0) {
    target->depth = ParseLeadingNumber(text.c_str() + question + 1);
    text.Truncate(question);
  }
  size_t split = FindLastCharacter(text.c_str(), '\\', isLead);
  if (split == kNoPosition || split == 0) split = FindLastCharacter(text.c_str(), ']', isLead);
  size_t nameStart = split == kNoPosition ? 0 : split + 1;
  return target->name.Assign(text.c_str() + nameStart) && target->folder.Assign(text.c_str(), nameStart);
}

namespace {

// The version text of the entry at `path`: what its version resource says,
// "0.0.0.0" when it has none.
bool VersionText(VersionReader& versions, const char* path, String* text) {
  uint32_t mostSignificant = 0;
  uint32_t leastSignificant = 0;
  ReadFileVersion(versions, path, &mostSignificant, &leastSignificant);
  return FormatFileVersion(mostSignificant, leastSignificant, text);
}

// Looks for `name` in `folder` and, while `depth` allows, depth-first in its
// subfolders; the first entry found ends the search.
bool SearchFolder(DetectionServices& services, const String& folderGiven, int32_t depth, const String& name,
                  String* result) {
  String folder;
  if (!folder.Assign(folderGiven)) return false;
  if (!folder.Empty() && !EndsWithBackslash(folder.c_str(), folder.Length(), services.isLead) &&
      !folder.Append('\\')) {
    return false;
  }

  String path;
  if (!path.Assign(folder) || !path.Append(name)) return false;
  FoundEntry entry;
  bool exists;
  {
    // The find only tells whether the entry exists; it is closed before
    // the version is read.
    ScopedFind find(services.finder, services.finder.FindFirst(path.c_str(), &entry));
    exists = find.Valid();
  }
  if (exists) return VersionText(services.versions, path.c_str(), result);
  if (depth < 1) return false;

  String pattern;
  if (!pattern.Assign(folder) || !pattern.Append("*.*")) return false;
  ScopedFind listing(services.finder, services.finder.FindFirst(pattern.c_str(), &entry));
  if (!listing.Valid()) return false;
  do {
    if (!entry.isFolder || strcmp(entry.name, ".") == 0 || strcmp(entry.name, "..") == 0) continue;
    String subfolder;
    if (!subfolder.Assign(folder) || !subfolder.Append(entry.name)) return false;
    if (SearchFolder(services, subfolder, depth - 1, name, result)) return true;
  } while (services.finder.FindNext(listing.Get(), &entry));
  return false;
}

}  // namespace

void SearchFile(DetectionServices& services, const char* searchString, List<String>& found) {
  FileSearchTarget target;
  if (!ParseFileSearch(searchString, services.isLead, &target)) return;
  String folder;
  if (!ExpandFolderKeywords(services.folders, target.folder.c_str(), services.isLead, &folder)) return;
  String result;
  if (SearchFolder(services, folder, target.depth, target.name, &result)) found.Push(static_cast<String&&>(result));
}

bool ParseRegistrySearch(const char* searchString, LeadByteTest isLead, RegistrySearchTarget* target) {
  size_t first = FindCharacter(searchString, 0, '\\', isLead);
  if (first == kNoPosition) return false;
  target->root = first == 4 && memcmp(searchString, "HKLM", 4) == 0 ? RegistryRoot::LocalMachine
                                                                     : RegistryRoot::CurrentUser;
  size_t keyStart = first + 1;
  size_t pair = kNoPosition;
  for (size_t at = FindCharacter(searchString, keyStart, '\\', isLead); at != kNoPosition;
       at = FindCharacter(searchString, at + 1, '\\', isLead)) {
    if (searchString[at + 1] == '\\') {
      pair = at;
      break;
    }
  }
  target->readsValue = pair != kNoPosition;
  target->hasExpected = false;
  target->valueName.Clear();
  target->expected.Clear();
  if (!target->readsValue) return target->keyPath.Assign(searchString + keyStart);
  if (!target->keyPath.Assign(searchString + keyStart, pair - keyStart)) return false;

  // Without a backslash closing it, the value name is empty: the default value.
  size_t nameStart = pair + 2;
  size_t nameEnd = FindCharacter(searchString, nameStart, '\\', isLead);
  if (nameEnd == kNoPosition) return true;
  if (!target->valueName.Assign(searchString + nameStart, nameEnd - nameStart)) return false;
  size_t expectedEnd = FindCharacter(searchString, nameEnd + 1, '\\', isLead);
  if (expectedEnd == kNoPosition) return true;
  target->hasExpected = true;
  return target->expected.Assign(searchString + nameEnd + 1, expectedEnd - nameEnd - 1);
}

void SearchRegistry(DetectionServices& services, const char* searchString, List<String>& found) {
  RegistrySearchTarget target;
  if (!ParseRegistrySearch(searchString, services.isLead, &target)) return;
  ScopedKey key(services.registry, services.registry.OpenForReading(target.root, target.keyPath.c_str()));
  if (!key.Valid()) return;

  if (!target.readsValue) {
    char name[kRegistryBuffer];
    for (uint32_t index = 0; services.registry.SubkeyName(key.Get(), index, name, kRegistryBuffer); ++index) {
      name[kRegistryBuffer - 1] = '\0';
      String text;
      if (!text.Assign(name) || !found.Push(static_cast<String&&>(text))) return;
    }
    return;
  }

  unsigned char data[kRegistryBuffer];
  uint32_t size = kRegistryBuffer;
  if (!services.registry.ReadValue(key.Get(), target.valueName.c_str(), data, &size)) return;
  if (size > kRegistryBuffer) size = kRegistryBuffer;
  // The data as text: its bytes up to the first zero byte.
  const void* zero = memchr(data, 0, size);
  size_t length = zero ? static_cast<size_t>(static_cast<const unsigned char*>(zero) - data) : size;
  String text;
  if (!text.Assign(reinterpret_cast<const char*>(data), length)) return;
  if (target.hasExpected && !text.Equals(target.expected.c_str())) return;
  found.Push(static_cast<String&&>(text));
}

bool RegistryValueSearchText(const char* searchString, LeadByteTest isLead, String* rewritten) {
  size_t last = FindLastCharacter(searchString, '\\', isLead);
  if (last == kNoPosition) return false;
  return rewritten->Assign(searchString, last) && rewritten->Append('\\') && rewritten->Append(searchString + last) &&
         rewritten->Append('\\');
}

void RunSearch(DetectionServices& services, int32_t searchType, const char* searchString, List<String>& found) {
  switch (searchType) {
    case FileSearch:
      SearchFile(services, searchString, found);
      return;
    case RegistrySearch:
      SearchRegistry(services, searchString, found);
      return;
    case RegistryValueSearch: {
      String rewritten;
      if (RegistryValueSearchText(searchString, services.isLead, &rewritten)) {
        SearchRegistry(services, rewritten.c_str(), found);
      }
      return;
    }
    default:
      return;
  }
}

int RunDetection(PrerequisiteList& list, DetectionServices& services) {
  for (size_t i = 0; i < list.Count(); ++i) {
    List<String> found;
    const SearchSpec& search = list.Prerequisites[i].SearchSpec;
    RunSearch(services, search.SearchType, search.SearchString.c_str(), found);
    if (!list.FoundVersions.Push(static_cast<List<String>&&>(found))) break;
  }
  return 0;
}

void LogFound(LogLine& line, const PrerequisiteList& list, size_t index) {
  if (index >= list.FoundVersions.Count() || list.FoundVersions[index].Empty()) {
    line.Format(" nothing");
    return;
  }
  for (const String& text : list.FoundVersions[index]) line.Format(" %q", text.c_str());
}

}  // namespace korvelt
