#include "app/prerequisite_orchestrator.h"

#include "prereq/folder_keywords.h"

namespace korvelt {
namespace {

const char* RestartText(RestartNeed restart) {
  switch (restart) {
    case RestartNeed::Required:
      return "required (3010)";
    case RestartNeed::Started:
      return "started by a program (1641)";
    case RestartNeed::None:
    default:
      return "none";
  }
}

// Each prerequisite as detection saw it and the decision made of it.
void LogDetection(RunLog* log, const PrerequisiteList& list) {
  if (!log || !log->On()) return;
  LogPrint(log, "configuration: %u prerequisites, MainAppCmdLine %q, Options %q", static_cast<uint32_t>(list.Count()),
           list.GeneralOptions.MainAppCmdLine.c_str(), list.GeneralOptions.Options.c_str());
  for (size_t i = 0; i < list.Count() && i < list.Actions.Count(); ++i) {
    const Prerequisite& prerequisite = list.Prerequisites[i];
    const SearchSpec& search = prerequisite.SearchSpec;
    LogLine line(log);
    line.Format("App%u %q: search %d %q found", static_cast<uint32_t>(i + 1), prerequisite.DisplayName.c_str(),
                search.SearchType, search.SearchString.c_str());
    LogFound(line, list, i);
    line.Format("; VerMin %q, VerMax %q, TargetOS %d; action %s", search.VerMin.c_str(), search.VerMax.c_str(),
                prerequisite.TargetOS, ActionText(list.Actions[i]));
  }
}

}  // namespace

PhaseOutcome PrerequisiteOrchestrator::Run(PayloadArchive& archive, const char* runTitle, const char* runValueName,
                                           String* mainParameters) {
  PhaseOutcome outcome;
  host_.OpenStatus(runTitle, 0);
  PrerequisiteList list;
  // A missing or unreadable configuration reads as an empty list.
  PreparePrerequisites(archive.configPath().c_str(), services_, &list);
  if (!mainParameters->Assign(list.GeneralOptions.MainAppCmdLine)) mainParameters->Clear();
  host_.CloseStatus();
  LogDetection(log_, list);
  if (!NeedsWizard(list)) return outcome;

  // Should a prerequisite restart the machine, the setup starts again at
  // the next logon and finds it present.
  host_.RegisterRestart(runValueName);
  LogPrint(log_, "Run value written for a restart");
  PrereqPlan plan;
  // Without memory for the plan the main installation goes on alone.
  if (!BuildPlan(archive, list, downloads_, &plan)) return outcome;
  plan.log = log_;
  if (IsQuietRun(list, services_.detection.isLead)) {
    // Downloads, then installs; the main installation follows whatever
    // they achieved, and nothing is reported, nor any box shown.
    LogPrint(log_, "quiet run");
    installs_.launcher.StayQuiet();
    DownloadPrerequisites(plan, downloads_, nullptr);
    InstallPrerequisites(plan, installs_, nullptr);
  } else {
    LogPrint(log_, "wizard");
    outcome.skipMain = wizard_.Run(plan) != WizardOutcome::Finished;
    LogPrint(log_, outcome.skipMain ? "wizard cancelled" : "wizard finished");
  }
  outcome.restart = plan.restart;
  // A restart under way leaves the main package to the run after it.
  if (plan.restart == RestartNeed::Started) outcome.skipMain = true;
  LogPrint(log_, "restart: %s", RestartText(plan.restart));
  return outcome;
}

bool PrerequisiteOrchestrator::IsQuiet(PayloadArchive& archive) {
  // The configuration alone answers: no search need run for it.
  PrerequisiteList list;
  if (!CreatePrerequisiteList(archive.configPath().c_str(), &list)) return false;
  LoadConfiguration(list, services_.profiles);
  return IsQuietRun(list, services_.detection.isLead);
}

bool PrerequisiteOrchestrator::ConfiguredLogFile(PayloadArchive& archive, String* path) {
  PrerequisiteList list;
  if (!CreatePrerequisiteList(archive.configPath().c_str(), &list)) return false;
  LoadConfiguration(list, services_.profiles);
  if (list.GeneralOptions.LogFile.Empty()) return false;
  // A keyword the system cannot resolve leaves no path to write to.
  return ExpandFolderKeywords(services_.detection.folders, list.GeneralOptions.LogFile.c_str(),
                              services_.detection.isLead, path) &&
         !path->Empty();
}

LayoutDownloads PrerequisiteOrchestrator::DownloadForLayout(PayloadArchive& archive, const char* folder,
                                                            const char* setupCopy, String* missing) {
  // No search runs: whatever this machine has, the layout is for others.
  PrerequisiteList list;
  if (!CreatePrerequisiteList(archive.configPath().c_str(), &list)) return LayoutDownloads::Incomplete;
  LoadConfiguration(list, services_.profiles);
  PrereqPlan plan;
  if (!BuildLayoutPlan(archive, list, folder, setupCopy, downloads_, &plan)) return LayoutDownloads::Incomplete;
  plan.log = log_;
  bool quiet = IsQuietRun(list, services_.detection.isLead);
  // A complete layout is checked without a window or a session.
  bool toFetch = false;
  for (PrereqAction action : plan.actions) toFetch = toFetch || action == Download;
  if (toFetch) {
    int32_t code = DownloadPrerequisites(plan, downloads_, quiet ? nullptr : layoutDialog_);
    if (code == DownloadAborted) return LayoutDownloads::Cancelled;
    // Items the worker did not reach stay Pending, and count as missing.
    ApplyDownloadResults(plan);
  }
  size_t count = ListMissingDownloads(plan, missing);
  LogPrint(log_, "layout: %u downloads missing", static_cast<uint32_t>(count));
  return count == 0 ? LayoutDownloads::Complete : LayoutDownloads::Incomplete;
}

}  // namespace korvelt
