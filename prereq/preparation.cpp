#include "prereq/preparation.h"

namespace korvelt {

int PreparePrerequisites(const char* configPath, PrereqServices& services, PrerequisiteList* list) {
  if (!CreatePrerequisiteList(configPath, list)) return 0;
  LoadConfiguration(*list, services.profiles);
  // With room made first, detection and decision cannot run out of memory
  // halfway, and the three lists keep one element per prerequisite. Without
  // that room the run goes on as if there were no prerequisites.
  if (!list->FoundVersions.Reserve(list->Count()) || !list->Actions.Reserve(list->Count())) {
    list->Prerequisites.Clear();
    return 0;
  }
  RunDetection(*list, services.detection);
  DecideActions(*list, services.running);
  return 0;
}

}  // namespace korvelt
