// Reading the prerequisites configuration file into a PrerequisiteList.
//
// The file is read only through a ProfileReader, so that the bootstrapper
// uses the system's own reader and the packer's check one that behaves
// alike (prereq/profile_text.h).
#pragma once

#include <stdint.h>

#include "base/string.h"
#include "platform/profile.h"
#include "prereq/records.h"

namespace korvelt {

// The room a configuration value is read into: 259 characters and the
// terminator. A value that fills it may have been cut and counts as absent.
constexpr uint32_t kProfileValueBuffer = 260;
// What the reader gives for a missing file, section or key.
constexpr char kProfileMissing[] = "NOT FOUND";

// Reads `key` of `section`. True when it is present, with its text (maybe
// empty) in `value`; false when it is missing, literally "NOT FOUND", 259
// characters or longer (quoted or not), or memory ran out, with `value`
// unchanged.
bool ReadProfileValue(ProfileReader& reader, const char* path, const char* section, const char* key, String* value);

// The value of the decimal digits at the start of `text`; 0 when it begins
// otherwise. No sign or blank is accepted. A value beyond 2147483647 is
// held at 2147483647.
int32_t ParseLeadingNumber(const char* text);

// Why the list of prerequisites ended where it did.
enum class ListEnd {
  NoEntry,         // "App" N is absent from "PREREQUISITES": the normal end
  NoSource,        // the section has neither SetupFile nor Url
  NoSearchType,    // the section has no SearchType
  NoSearchString,  // the section has no SearchString
  NoMemory,        // the record could not be kept
};

struct ConfigurationEnd {
  int32_t entry = 0;  // the N of "App" N at which the list ended
  ListEnd reason = ListEnd::NoEntry;
};

// Fills the general options of `list` and appends one record per valid
// prerequisite section, in list order, reading the file at its ConfigPath.
// The first invalid section ends the list; it and every later entry are
// dropped. `end`, when given, says where and why the list ended. Always 0.
int LoadConfiguration(PrerequisiteList& list, ProfileReader& reader, ConfigurationEnd* end = nullptr);

// Forms the list key of entry `n`: "App" followed by `n` in decimal.
void FormAppKey(int32_t n, char (&key)[16]);

}  // namespace korvelt
