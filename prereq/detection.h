// Detection: each prerequisite's search, run against the machine, gives
// the texts it found (a file's version, subkey names, a value's data).
// Nothing here judges them, and no failure is ever reported: a search that
// cannot be made simply finds nothing.
#pragma once

#include "base/chars.h"
#include "base/list.h"
#include "base/string.h"
#include "platform/file_finder.h"
#include "platform/run_log.h"
#include "platform/registry.h"
#include "platform/system_folders.h"
#include "platform/version_info.h"
#include "prereq/records.h"

namespace korvelt {

// The services the searches reach the machine through.
struct DetectionServices {
  FileFinder& finder;
  Registry& registry;
  VersionReader& versions;
  SystemFolders& folders;
  LeadByteTest isLead;
};

// Runs every prerequisite's search, in list order, and appends what each
// found (maybe nothing) to FoundVersions. Always 0.
int RunDetection(PrerequisiteList& list, DetectionServices& services);

// Runs the search of `searchType` for `searchString` and appends what it
// finds to `found`. Types other than 0, 1 and 2 find nothing.
void RunSearch(DetectionServices& services, int32_t searchType, const char* searchString, List<String>& found);

// A file search: "folder\name", optionally followed by "?" and a depth of
// subfolders to look through as well; the folder may hold keywords.
// Appends the version text of the first entry found, "0.0.0.0" for one
// without a version resource.
void SearchFile(DetectionServices& services, const char* searchString, List<String>& found);

// A registry search: "ROOT\key" appends the names of the key's subkeys;
// "ROOT\key\\value\" the value's data ("ROOT\key\\" the default value's).
// "ROOT\key\\value\expected\" appends the data only when it is exactly
// "expected". ROOT "HKLM" is the local machine, anything else the user.
void SearchRegistry(DetectionServices& services, const char* searchString, List<String>& found);

// The registry search of "ROOT\key\value": the last backslash is doubled
// and one appended, so that it reads the value.
bool RegistryValueSearchText(const char* searchString, LeadByteTest isLead, String* rewritten);

// Where a file search looks, as read from its text.
struct FileSearchTarget {
  String folder;  // up to and including the split point, keywords unexpanded
  String name;
  int32_t depth = 0;
};
bool ParseFileSearch(const char* searchString, LeadByteTest isLead, FileSearchTarget* target);

// How a registry search is to be made, as read from its text.
struct RegistrySearchTarget {
  RegistryRoot root = RegistryRoot::CurrentUser;
  String keyPath;
  bool readsValue = false;
  String valueName;
  bool hasExpected = false;  // a further segment closed by a backslash
  String expected;
};
// False when the text holds no backslash and so names no key.
bool ParseRegistrySearch(const char* searchString, LeadByteTest isLead, RegistrySearchTarget* target);

// Appends to `line` what detection found for prerequisite `index`: each
// text in double quotes, or "nothing".
void LogFound(LogLine& line, const PrerequisiteList& list, size_t index);

// The room a subkey name and a value's data are read into.
constexpr uint32_t kRegistryBuffer = 260;

}  // namespace korvelt
