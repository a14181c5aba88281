#include "download/plan.h"

#include "base/chars.h"
#include "base/file_name.h"
#include "download/download_log.h"
#include "download/worker.h"
#include "prereq/download_name.h"
#include "resources/resource_ids.h"

namespace korvelt {

bool BuildPlan(PayloadArchive& payload, PrerequisiteList& prerequisites, DownloadServices& services,
               PrereqPlan* plan) {
  plan->prerequisites = &prerequisites;
  plan->payload = &payload;
  plan->actions.Clear();
  plan->downloads.items.Clear();
  for (PrereqAction action : prerequisites.Actions) {
    if (!plan->actions.Push(action)) return false;
  }
  // The folder of the bootstrapper's own file, with its backslash.
  const String& exePath = payload.exePath();
  size_t slash = FindLastCharacter(exePath.c_str(), '\\', services.isLead);
  if (!plan->downloads.folder.Assign(exePath.c_str(), slash == kNoPosition ? 0 : slash)) return false;
  if (!plan->downloads.folder.Append('\\')) return false;
  ReconcileDownloads(*plan, services);
  return true;
}

bool BuildLayoutPlan(PayloadArchive& payload, PrerequisiteList& prerequisites, const char* folder,
                     const char* setupCopy, DownloadServices& services, PrereqPlan* plan) {
  plan->prerequisites = &prerequisites;
  plan->payload = &payload;
  plan->actions.Clear();
  plan->downloads.items.Clear();
  for (const Prerequisite& prerequisite : prerequisites.Prerequisites) {
    if (!plan->actions.Push(prerequisite.Source == PrereqSource::Url ? Download : DontInstall)) return false;
  }
  if (!plan->setupCopy.Assign(setupCopy) || !plan->downloads.folder.Assign(folder)) return false;
  ReconcileDownloads(*plan, services);
  return true;
}

size_t ListMissingDownloads(const PrereqPlan& plan, String* names) {
  const List<Prerequisite>& prerequisites = plan.prerequisites->Prerequisites;
  size_t missing = 0;
  for (size_t i = 0; i < plan.actions.Count() && i < prerequisites.Count(); ++i) {
    if (prerequisites[i].Source != PrereqSource::Url) continue;
    if (plan.actions[i] == InstallExisting || plan.actions[i] == InstallDownloaded) continue;
    ++missing;
    // Without memory for a name the count still tells.
    if (names->Append(prerequisites[i].DisplayName)) names->Append('\n');
  }
  return missing;
}

bool SetDownloadFolder(PrereqPlan& plan, const char* path, DownloadServices& services) {
  String folder;
  if (!folder.Assign(path)) return false;
  if (!EndsWithBackslash(folder.c_str(), folder.Length(), services.isLead) && !folder.Append('\\')) return false;
  plan.downloads.folder = static_cast<String&&>(folder);
  ReconcileDownloads(plan, services);
  return true;
}

bool DownloadPath(const PrereqPlan& plan, size_t index, LeadByteTest isLead, String* path) {
  const List<Prerequisite>& prerequisites = plan.prerequisites->Prerequisites;
  const char* folder = plan.downloads.folder.c_str();
  const Prerequisite& download = prerequisites[index];
  if (!LocalDownloadPath(folder, download.Location.c_str(), download.FileName.c_str(), isLead, path)) return false;
  if (plan.payload && CompareFileNames(path->c_str(), plan.payload->exePath().c_str(), isLead) == 0) return false;
  if (!plan.setupCopy.Empty() && CompareFileNames(path->c_str(), plan.setupCopy.c_str(), isLead) == 0) return false;
  for (size_t earlier = 0; earlier < index; ++earlier) {
    const Prerequisite& other = prerequisites[earlier];
    String otherPath;
    if (other.Source != PrereqSource::Url ||
        !LocalDownloadPath(folder, other.Location.c_str(), other.FileName.c_str(), isLead, &otherPath) ||
        CompareFileNames(path->c_str(), otherPath.c_str(), isLead) != 0) {
      continue;
    }
    // Digests are hexadecimal digits, in either case.
    bool same = TextEquals(download.Location.c_str(), other.Location.c_str()) &&
                download.ExactSize == other.ExactSize &&
                CompareFileNames(download.Sha256.c_str(), other.Sha256.c_str(), NoLeadBytes) == 0;
    if (!same) return false;
  }
  return true;
}

void ReconcileDownloads(PrereqPlan& plan, DownloadServices& services) {
  const List<Prerequisite>& prerequisites = plan.prerequisites->Prerequisites;
  for (size_t i = 0; i < plan.actions.Count() && i < prerequisites.Count(); ++i) {
    PrereqAction& action = plan.actions[i];
    if (action != Download && action != InstallExisting) continue;
    String path;
    uint64_t size = 0;
    // A path that cannot be formed finds no file.
    bool found = DownloadPath(plan, i, services.isLead, &path) && services.files.FindFile(path.c_str(), &size);
    // The content is looked at only once the size is right.
    bool complete = found && size == static_cast<uint32_t>(prerequisites[i].ExactSize) &&
                    FileMatches(services.files, services.sha256, path.c_str(), prerequisites[i].Sha256.c_str());
    action = complete ? InstallExisting : Download;
  }
}

int32_t DownloadPrerequisites(PrereqPlan& plan, DownloadServices& services, DownloadDialog* dialog) {
  DownloadBatch& batch = plan.downloads;
  batch.items.Clear();
  const List<Prerequisite>& prerequisites = plan.prerequisites->Prerequisites;
  for (size_t i = 0; i < plan.actions.Count() && i < prerequisites.Count(); ++i) {
    if (plan.actions[i] != Download) continue;
    DownloadItem item;
    item.exactSize = prerequisites[i].ExactSize;
    item.prereqIndex = static_cast<int32_t>(i);
    // A download that cannot be saved goes without a path: the worker
    // fails it without touching any file.
    String path;
    if (DownloadPath(plan, i, services.isLead, &path)) item.path = static_cast<String&&>(path);
    if (!item.url.Assign(prerequisites[i].Location) || !item.sha256.Assign(prerequisites[i].Sha256) ||
        !item.name.Assign(prerequisites[i].DisplayName) || !batch.items.Push(static_cast<DownloadItem&&>(item))) {
      // Without memory for the run nothing is fetched; the actions stay
      // Download, which installs nothing.
      batch.items.Clear();
      return dialog ? DownloadNotStarted : DownloadIncomplete;
    }
  }
  int32_t code = RunDownloads(batch, services, dialog);
  // The worker has ended: its reports are the log's to read.
  LogDownloadRun(plan.log, batch, code);
  if (!dialog) ApplyDownloadResults(plan);
  return code;
}

void ApplyDownloadResults(PrereqPlan& plan) {
  for (const DownloadItem& item : plan.downloads.items) {
    if (item.prereqIndex < 0 || static_cast<size_t>(item.prereqIndex) >= plan.actions.Count()) continue;
    plan.actions[item.prereqIndex] = item.status == DownloadStatus::Done ? InstallDownloaded : NotFound;
  }
}

unsigned DownloadFailureText(int32_t code) {
  switch (code) {
    case 1:
      return IDS_DOWNLOAD_NOT_STARTED;
    case 2:
      return IDS_DOWNLOAD_READ_ERROR;
    case 3:
      return IDS_DOWNLOAD_SAVE_ERROR;
    case 4:
      return IDS_DOWNLOAD_ABORTED;
    default:
      return IDS_DOWNLOAD_FAILED;
  }
}

}  // namespace korvelt
