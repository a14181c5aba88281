#include "app/command_line.h"

namespace korvelt {
namespace {

unsigned char Byte(const char* at) { return static_cast<unsigned char>(*at); }

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
  const char* at = found + sizeof kSwitch - 1;
  // Fewer than two characters behind the switch select nothing.
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

}  // namespace korvelt
