#include "prereq/config.h"

#include "base/decimal.h"
#include "platform/os_family.h"

namespace korvelt {

bool ReadProfileValue(ProfileReader& reader, const char* path, const char* section, const char* key, String* value) {
  char buffer[kProfileValueBuffer];
  uint32_t copied = reader.ReadString(path, section, key, kProfileMissing, buffer, kProfileValueBuffer);
  if (copied >= kProfileValueBuffer - 1) return false;
  if (copied == kProfileValueBuffer - 2) {
    // A quoted value of 259 characters comes back cut to 258; a second
    // look with more room tells it from a real 258.
    char longer[kProfileValueBuffer + 2];
    if (reader.ReadString(path, section, key, kProfileMissing, longer, sizeof longer) > copied) return false;
  }
  buffer[copied] = '\0';
  if (TextEquals(buffer, kProfileMissing)) return false;
  String read;
  if (!read.Assign(buffer, copied)) return false;
  *value = static_cast<String&&>(read);
  return true;
}

int32_t ParseLeadingNumber(const char* text) {
  int32_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    int32_t digit = *text - '0';
    value = value > (0x7FFFFFFF - digit) / 10 ? 0x7FFFFFFF : value * 10 + digit;
  }
  return value;
}

void FormAppKey(int32_t n, char (&key)[16]) {
  key[0] = 'A';
  key[1] = 'p';
  key[2] = 'p';
  *WriteDecimal(key + 3, n < 0 ? 0 : static_cast<uint32_t>(n)) = '\0';
}

namespace {

// The Sha256 key as written. A value that is there but cannot be a digest
// (not 64 characters; empty, too long to be read or "NOT FOUND" among
// them) is kept as "-", which matches no file, so that a key given is
// never a check skipped. False when memory runs out.
bool ReadSha256(ProfileReader& reader, const char* path, const char* section, String* sha256) {
  if (ReadProfileValue(reader, path, section, "Sha256", sha256)) {
    return sha256->Length() == 64 || sha256->Assign("-");
  }
  // Missing, or there but not to be read: a look with an empty default
  // tells which.
  char probe[2];
  return reader.ReadString(path, section, "Sha256", "", probe, sizeof probe) == 0 || sha256->Assign("-");
}

// Reads one prerequisite's section; returns how it ended, NoEntry when the
// record is complete.
ListEnd ReadSection(ProfileReader& reader, const char* path, const char* section, Prerequisite* record) {
  String text;
  record->TargetOS = ReadProfileValue(reader, path, section, "TargetOS", &text) ? ParseLeadingNumber(text.c_str())
                                                                                  : static_cast<int32_t>(OsFamily::AnyFamily);
  if (ReadProfileValue(reader, path, section, "SetupFile", &record->Location)) {
    record->Source = PrereqSource::SetupFile;
  } else if (ReadProfileValue(reader, path, section, "Url", &record->Location)) {
    record->Source = PrereqSource::Url;
  } else {
    return ListEnd::NoSource;
  }
  text.Clear();
  record->ExactSize = ReadProfileValue(reader, path, section, "ExactSize", &text) ? ParseLeadingNumber(text.c_str()) : 0;
  // A setup file travels inside the setup; only a download is checked.
  if (record->Source == PrereqSource::Url && !ReadSha256(reader, path, section, &record->Sha256)) {
    return ListEnd::NoMemory;
  }
  if (record->Source == PrereqSource::Url) ReadProfileValue(reader, path, section, "FileName", &record->FileName);
  ReadProfileValue(reader, path, section, "CommandLine", &record->CommandLine);
  ReadProfileValue(reader, path, section, "Options", &record->Options);
  ReadProfileValue(reader, path, section, "SuccessCodes", &record->SuccessCodes);
  text.Clear();
  if (!ReadProfileValue(reader, path, section, "SearchType", &text)) return ListEnd::NoSearchType;
  record->SearchSpec.SearchType = ParseLeadingNumber(text.c_str());
  ReadProfileValue(reader, path, section, "VerMin", &record->SearchSpec.VerMin);
  ReadProfileValue(reader, path, section, "VerMax", &record->SearchSpec.VerMax);
  if (!ReadProfileValue(reader, path, section, "SearchString", &record->SearchSpec.SearchString)) {
    return ListEnd::NoSearchString;
  }
  return ListEnd::NoEntry;
}

}  // namespace

int LoadConfiguration(PrerequisiteList& list, ProfileReader& reader, ConfigurationEnd* end) {
  const char* path = list.ConfigPath.c_str();
  ReadProfileValue(reader, path, "GeneralOptions", "MainAppCmdLine", &list.GeneralOptions.MainAppCmdLine);
  ReadProfileValue(reader, path, "GeneralOptions", "Options", &list.GeneralOptions.Options);
  ReadProfileValue(reader, path, "GeneralOptions", "LogFile", &list.GeneralOptions.LogFile);

  ConfigurationEnd reached;
  for (int32_t n = 1;; ++n) {
    reached.entry = n;
    char key[16];
    FormAppKey(n, key);
    Prerequisite record;
    if (!ReadProfileValue(reader, path, "PREREQUISITES", key, &record.DisplayName)) {
      reached.reason = ListEnd::NoEntry;
      break;
    }
    reached.reason = ReadSection(reader, path, key, &record);
    if (reached.reason != ListEnd::NoEntry) break;
    if (!list.Prerequisites.Push(static_cast<Prerequisite&&>(record))) {
      reached.reason = ListEnd::NoMemory;
      break;
    }
    if (n == 0x7FFFFFFF) break;
  }
  if (end) *end = reached;
  return 0;
}

}  // namespace korvelt
