#include "prereq/folder_keywords.h"

#include <string.h>

#include "base/chars.h"

namespace korvelt {
namespace {

struct ShellKeyword {
  const char* name;
  int folder;  // CSIDL value
};

// Searched from the top; "ProgramFiles" is an old spelling of the first.
const ShellKeyword kShellKeywords[] = {
    {"ProgramFilesFolder", 38}, {"CommonFilesFolder", 43}, {"DesktopFolder", 16}, {"AppDataFolder", 26},
    {"FavoritesFolder", 6},     {"StartMenuFolder", 11},   {"ProgramMenuFolder", 2}, {"StartupFolder", 7},
    {"FontsFolder", 20},        {"ProgramFiles", 38},
};

bool Is(const char* keyword, size_t length, const char* name) {
  return strlen(name) == length && memcmp(keyword, name, length) == 0;
}

bool WithBackslash(String* folder, LeadByteTest isLead) {
  return EndsWithBackslash(folder->c_str(), folder->Length(), isLead) || folder->Append('\\');
}

}  // namespace

bool ResolveFolderKeyword(SystemFolders& folders, const char* keyword, size_t length, String* folder,
                          LeadByteTest isLead) {
  folder->Clear();
  String found;
  if (Is(keyword, length, "SystemFolder")) {
    if (!folders.SystemDirectory(&found) || !found.Append('\\')) return false;
  } else if (Is(keyword, length, "WindowsFolder")) {
    if (!folders.WindowsDirectory(&found) || !found.Append('\\')) return false;
  } else if (Is(keyword, length, "WindowsVolume")) {
    // The drive's root, such as C:\, is the first three characters.
    if (!folders.WindowsDirectory(&found)) return false;
    found.Truncate(3);
  } else if (Is(keyword, length, "TempFolder")) {
    if (!folders.TempDirectory(&found)) return false;
  } else {
    const ShellKeyword* match = nullptr;
    for (const ShellKeyword& entry : kShellKeywords) {
      if (Is(keyword, length, entry.name)) {
        match = &entry;
        break;
      }
    }
    if (!match || !folders.ShellFolder(match->folder, &found) || found.Empty() || !WithBackslash(&found, isLead)) {
      return false;
    }
  }
  *folder = static_cast<String&&>(found);
  return true;
}

bool ExpandFolderKeywords(SystemFolders& folders, const char* text, LeadByteTest isLead, String* expanded) {
  String result;
  size_t position = 0;
  for (size_t open = FindCharacter(text, 0, '[', isLead); open != kNoPosition;
       open = FindCharacter(text, position, '[', isLead)) {
    if (!result.Append(text + position, open - position)) return false;
    size_t close = FindCharacter(text, open, ']', isLead);
    if (close == kNoPosition) {
      position = open;
      break;
    }
    String folder;
    ResolveFolderKeyword(folders, text + open + 1, close - open - 1, &folder, isLead);
    if (!result.Append(folder)) return false;
    position = close + 1;
  }
  if (!result.Append(text + position)) return false;
  *expanded = static_cast<String&&>(result);
  return true;
}

}  // namespace korvelt
