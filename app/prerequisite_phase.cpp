#include "app/prerequisite_phase.h"

namespace korvelt {

bool ModelPrerequisitePhase::Run(PayloadArchive& archive, const char* runTitle, const char* runValueName,
                                 String* mainParameters) {
  shell_.OpenStatus(runTitle, 0);
  PrerequisiteList list;
  // A missing or unreadable configuration reads as an empty list.
  PreparePrerequisites(archive.configPath().c_str(), services_, &list);
  if (!mainParameters->Assign(list.GeneralOptions.MainAppCmdLine)) mainParameters->Clear();
  shell_.CloseStatus();

  // Should a prerequisite restart the machine, the setup starts again at
  // the next logon and finds it present.
  if (NeedsWizard(list)) shell_.RegisterRestart(runValueName);
  return true;
}

}  // namespace korvelt
