#include <windows.h>

#include "platform/os_family.h"

namespace korvelt {

OsFamily RunningOsFamily() {
  // GetVersion is what tells 95, 98 and Me apart from NT; it is deprecated
  // for version numbers, not for that bit.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  return FamilyOfVersion(GetVersion());
#pragma GCC diagnostic pop
}

}  // namespace korvelt
