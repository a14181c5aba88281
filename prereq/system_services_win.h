// The system's own services for the prerequisite model, in one place for
// the run sequence.
#pragma once

#include "platform/file_finder_win.h"
#include "platform/files_win.h"
#include "platform/profile_win.h"
#include "platform/registry_win.h"
#include "platform/system_folders_win.h"
#include "platform/version_info_win.h"
#include "prereq/preparation.h"

namespace korvelt {

struct Win32PrereqSystem {
  Win32ProfileReader profiles;
  Win32FileFinder finder;
  Win32Registry registry;
  Win32VersionReader versions;
  Win32SystemFolders folders;

  PrereqServices Services() {
    return PrereqServices{profiles, DetectionServices{finder, registry, versions, folders, SystemLeadByte},
                          RunningOsFamily()};
  }
};

}  // namespace korvelt
