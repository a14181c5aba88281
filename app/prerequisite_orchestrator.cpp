#include "app/prerequisite_orchestrator.h"

namespace korvelt {

bool PrerequisiteOrchestrator::Run(PayloadArchive& archive, const char* runTitle, const char* runValueName,
                                 String* mainParameters) {
  host_.OpenStatus(runTitle, 0);
  PrerequisiteList list;
  // A missing or unreadable configuration reads as an empty list.
  PreparePrerequisites(archive.configPath().c_str(), services_, &list);
  if (!mainParameters->Assign(list.GeneralOptions.MainAppCmdLine)) mainParameters->Clear();
  host_.CloseStatus();
  if (!NeedsWizard(list)) return true;

  // Should a prerequisite restart the machine, the setup starts again at
  // the next logon and finds it present.
  host_.RegisterRestart(runValueName);
  PrereqPlan plan;
  // Without memory for the plan the main installation goes on alone.
  if (!BuildPlan(archive, list, downloads_, &plan)) return true;
  if (IsQuietRun(list, services_.detection.isLead)) {
    // Downloads, then installs; the main installation follows whatever
    // they achieved, and nothing is reported, nor any box shown.
    installs_.launcher.StayQuiet();
    DownloadPrerequisites(plan, downloads_, nullptr);
    InstallPrerequisites(plan, installs_, nullptr);
    return true;
  }
  return wizard_.Run(plan) == WizardOutcome::Finished;
}

bool PrerequisiteOrchestrator::IsQuiet(PayloadArchive& archive) {
  // The configuration alone answers: no search need run for it.
  PrerequisiteList list;
  if (!CreatePrerequisiteList(archive.configPath().c_str(), &list)) return false;
  LoadConfiguration(list, services_.profiles);
  return IsQuietRun(list, services_.detection.isLead);
}

}  // namespace korvelt
