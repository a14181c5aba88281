#include "app/command_line.h"

namespace korvelt {
namespace {

unsigned char Byte(const char* at) { return static_cast<unsigned char>(*at); }

// The folder value that starts at `at`, behind a switch: quoted or ending
// at the first space, with a trailing backslash. Fewer than two characters
// behind the switch, or an empty value, select nothing.
bool ParseFolderValue(const char* at, LeadByteTest isLead, String* folder) {
  if (at[0] == '\0' || at[1] == '\0') return true;

  char delimiter = ' ';
  if (*at == '"') {
    delimiter = '"';
    ++at;
  }
  const char* end = at;
  while (*end != '\0' && *end != delimiter) end = NextChar(end, isLead);
  if (end == at) return true;
  if (!folder->Assign(at, static_cast<size_t>(end - at))) return false;
  if (!EndsWithBackslash(folder->c_str(), folder->Length(), isLead) && !folder->Append('\\')) {
    folder->Clear();
    return false;
  }
  return true;
}

}  // namespace

const char* CutCommandTail(const char* commandLine, LeadByteTest isLead) {
  const char* at = commandLine;
  if (*at == '"') {
    at = NextChar(at, isLead);
    while (*at != '\0' && *at != '"') at = NextChar(at, isLead);
    if (*at == '"') at = NextChar(at, isLead);
  } else {
    while (*at != '\0' && Byte(at) > 32) at = NextChar(at, isLead);
  }
  while (Byte(at) >= 1 && Byte(at) <= 32) ++at;
  return at;
}

bool ParseExtractFolder(const char* commandTail, LeadByteTest isLead, String* folder) {
  static const char kSwitch[] = "/extract:";
  folder->Clear();
  const char* found = FindText(commandTail, kSwitch, isLead);
  if (!found) return true;
  return ParseFolderValue(found + sizeof kSwitch - 1, isLead, folder);
}

bool ParseLayoutFolder(const char* commandTail, LeadByteTest isLead, String* folder) {
  static const char kSwitch[] = "/layout:";
  folder->Clear();
  // Only at the start: a package's own parameters may hold the text.
  for (size_t i = 0; i < sizeof kSwitch - 1; ++i) {
    if (commandTail[i] != kSwitch[i]) return true;
  }
  return ParseFolderValue(commandTail + sizeof kSwitch - 1, isLead, folder);
}

}  // namespace korvelt
