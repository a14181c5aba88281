#include "install/install.h"

#include "prereq/decision.h"
#include "prereq/success_codes.h"

namespace korvelt {
namespace {

// Where the setup program of prerequisite `index` lies, or false for an
// action that installs nothing.
bool SetupPath(PrereqPlan& plan, size_t index, LeadByteTest isLead, String* path) {
  const Prerequisite& prerequisite = plan.prerequisites->Prerequisites[index];
  switch (plan.actions[index]) {
    case Install:
      // The step goes on whatever the extraction reports.
      plan.payload->ExtractNamed(prerequisite.Location.c_str());
      return path->Assign(plan.payload->extractFolder()) && path->Append(prerequisite.Location);
    case InstallDownloaded:
    case InstallExisting:
      return DownloadPath(plan, index, isLead, path);
    default:
      return false;
  }
}

bool Installs(PrereqAction action) { return action == Install || action == InstallDownloaded || action == InstallExisting; }

void InstallerThread(void* run) {
  InstallRun& installRun = *static_cast<InstallRun*>(run);
  RunInstallEntries(installRun);
  installRun.services->poster.Post(installRun.window, IN_ALL_DONE, 0, 0);
}

}  // namespace

bool BuildInstallList(PrereqPlan& plan, LeadByteTest isLead, InstallList* list) {
  list->Clear();
  const List<Prerequisite>& prerequisites = plan.prerequisites->Prerequisites;
  for (size_t i = 0; i < plan.actions.Count() && i < prerequisites.Count(); ++i) {
    if (!Installs(plan.actions[i])) continue;
    InstallEntry entry;
    entry.index = i;
    // A payload file travels inside the setup and is not digested.
    if (plan.actions[i] != Install) entry.sha256 = &prerequisites[i].Sha256;
    if (!SetupPath(plan, i, isLead, &entry.path) || !entry.parameters.Assign(prerequisites[i].CommandLine) ||
        !entry.displayName.Assign(prerequisites[i].DisplayName) || !list->Push(static_cast<InstallEntry&&>(entry))) {
      list->Clear();
      return false;
    }
  }
  return true;
}

void RunSetupProgram(ShellLauncher& launcher, InstallEntry& entry) {
  uint32_t exitCode = 0;
  entry.started = launcher.OpenAndWait(entry.path.c_str(), entry.parameters.c_str(), &exitCode);
  entry.exitCode = entry.started ? exitCode : 0;
}

bool RunCheckedProgram(InstallServices& services, InstallEntry& entry) {
  if (!entry.sha256 || entry.sha256->Empty()) {
    RunSetupProgram(services.launcher, entry);
    return true;
  }
  if (!services.files) return false;
  ScopedFile file(*services.files,
                  OpenMatching(*services.files, services.sha256, entry.path.c_str(), entry.sha256->c_str()));
  if (!file.Valid()) return false;
  RunSetupProgram(services.launcher, entry);
  return true;
}

bool RunInstallEntry(InstallRun& run, size_t index) {
  InstallEntry& entry = (*run.list)[index];
  Clock* clock = run.services->clock;
  uint32_t start = clock ? clock->TimeOfDayMilliseconds() : 0;
  entry.reached = true;
  entry.refused = !RunCheckedProgram(*run.services, entry);
  entry.milliseconds = clock ? MillisecondsBetween(start, clock->TimeOfDayMilliseconds()) : 0;
  // The machine is going down: whatever runs now may be cut off halfway.
  return !(entry.started && entry.exitCode == kRestartStarted);
}

void RunInstallEntries(InstallRun& run) {
  for (size_t i = 0; i < run.list->Count(); ++i) {
    if (run.window) run.services->poster.Post(run.window, IN_STARTING, i, 0);
    if (!RunInstallEntry(run, i)) return;
  }
}

bool StartInstaller(InstallRun& run, WindowId window) {
  run.window = window;
  run.thread = run.services->threads.StartThread(InstallerThread, &run);
  return run.thread != 0;
}

int32_t InstallPrerequisites(PrereqPlan& plan, InstallServices& services, InstallDialog* dialog) {
  InstallList list;
  // Without memory for the list nothing is run.
  if (!BuildInstallList(plan, services.isLead, &list)) return 0;
  InstallRun run;
  run.list = &list;
  run.services = &services;
  if (dialog) dialog->Show(run);
  if (run.thread) {
    services.threads.WaitForThread(run.thread);
    services.threads.Close(run.thread);
  } else if (!run.ran) {
    // Silent, or no window could be shown: the programs still run.
    run.window = 0;
    RunInstallEntries(run);
  }
  SettleInstallRun(plan, services, list);
  return 0;
}

void SettleInstallRun(PrereqPlan& plan, InstallServices& services, InstallList& list) {
  PrerequisiteList& prerequisites = *plan.prerequisites;
  for (const InstallEntry& entry : list) {
    if (!entry.reached) continue;
    size_t index = entry.index;
    const Prerequisite& prerequisite = prerequisites.Prerequisites[index];
    LogLine line(plan.log);
    line.Format("program App%u %q: %q %q", static_cast<uint32_t>(index + 1), prerequisite.DisplayName.c_str(),
                entry.path.c_str(), entry.parameters.c_str());
    // A download refused for its content was never run: it is not Failed
    // but, like a download that failed, Not Found.
    if (entry.refused) {
      plan.actions[index] = NotFound;
      line.Format(" not run: the file is not the one its Sha256 names; Not Found");
      continue;
    }
    if (entry.started) {
      line.Format(" exit code %u after %t", entry.exitCode, entry.milliseconds);
      if (entry.exitCode == kRestartRequired && plan.restart == RestartNeed::None) plan.restart = RestartNeed::Required;
      if (entry.exitCode == kRestartStarted) plan.restart = RestartNeed::Started;
    } else {
      line.Format(" gave back no process to wait for");
    }
    // A program handed to a process already running gives no code: what
    // is found afterwards alone tells.
    bool succeeded = !entry.started || IsSuccessCode(prerequisite.SuccessCodes.c_str(), entry.exitCode);
    bool present = true;
    if (services.detection && index < prerequisites.FoundVersions.Count()) {
      List<String> found;
      RunSearch(*services.detection, prerequisite.SearchSpec.SearchType, prerequisite.SearchSpec.SearchString.c_str(),
                found);
      prerequisites.FoundVersions[index] = static_cast<List<String>&&>(found);
      present = MatchVersionRange(prerequisites, index);
      line.Format("; found afterwards:");
      LogFound(line, prerequisites, index);
    }
    plan.actions[index] = succeeded && present ? Installed : Failed;
    line.Format("; %s, %s: %s", succeeded ? "a success code" : "a failure code", present ? "present" : "not present",
                ActionText(plan.actions[index]));
  }
}

}  // namespace korvelt
