// The prerequisite model's part of the run: the configuration read, every
// prerequisite detected and its initial action decided.
#pragma once

#include "platform/os_family.h"
#include "platform/profile.h"
#include "prereq/config.h"
#include "prereq/decision.h"
#include "prereq/detection.h"
#include "prereq/records.h"

namespace korvelt {

struct PrereqServices {
  ProfileReader& profiles;
  DetectionServices detection;
  OsFamily running;
};

// Sets `list` up for the configuration file at `configPath`, loads it,
// runs detection and decides the actions. Afterwards the three lists of
// `list` have one element per prerequisite, and NeedsWizard and IsQuietRun
// answer the run's questions. A missing or unreadable file gives an empty
// list. Always 0.
int PreparePrerequisites(const char* configPath, PrereqServices& services, PrerequisiteList* list);

}  // namespace korvelt
