// The family of the running system, which a prerequisite's TargetOS names.
#pragma once

#include <stdint.h>

namespace korvelt {

enum class OsFamily : int32_t { Win9xFamily = 0, NtFamily = 1, AnyFamily = 2 };

// The family a GetVersion result tells: its top bit marks 95, 98 and Me.
inline OsFamily FamilyOfVersion(uint32_t version) {
  return (version & 0x80000000u) ? OsFamily::Win9xFamily : OsFamily::NtFamily;
}

// The running system's family; Win32 build only.
OsFamily RunningOsFamily();

}  // namespace korvelt
