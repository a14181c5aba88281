#include "install/install.h"

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

void RunSetupProgram(ShellLauncher& launcher, const InstallEntry& entry) {
  // Neither a failure to start nor the exit code is looked at.
  uint32_t exitCode = 0;
  launcher.OpenAndWait(entry.path.c_str(), entry.parameters.c_str(), &exitCode);
}

bool RunCheckedProgram(InstallServices& services, const InstallEntry& entry) {
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

void RunInstallEntries(InstallRun& run) {
  for (size_t i = 0; i < run.list->Count(); ++i) {
    if (run.window) run.services->poster.Post(run.window, IN_STARTING, i, 0);
    InstallEntry& entry = (*run.list)[i];
    entry.refused = !RunCheckedProgram(*run.services, entry);
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
  // A download refused for its content was never run: it is not Installed
  // but, like a download that failed, Not Found.
  for (const InstallEntry& entry : list) {
    if (entry.refused) plan.actions[entry.index] = NotFound;
  }
  return 0;
}

void MarkInstalled(PrereqPlan& plan) {
  for (PrereqAction& action : plan.actions) {
    if (Installs(action)) action = Installed;
  }
}

}  // namespace korvelt
