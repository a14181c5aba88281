// The plan: the working state of the prerequisites for one run — each
// one's action as it changes, the download folder and the download batch.
// It is built once detection has decided, keeps the actions in line with
// what already lies in the download folder, turns the Download actions
// into a download run and that run's outcome back into actions. The
// list's own Actions keep their detection-time values; only the plan's
// copy changes.
#pragma once

#include <stdint.h>

#include "base/list.h"
#include "download/batch.h"
#include "payload/archive.h"
#include "platform/run_log.h"
#include "prereq/records.h"

namespace korvelt {

// What the programs run so far said about a restart of the machine.
enum class RestartNeed : int32_t {
  None = 0,
  Required = 1,  // one returned 3010: done, but a restart is due
  Started = 2,   // one returned 1641: it has started the restart itself
};

struct PrereqPlan {
  List<PrereqAction> actions;  // one per prerequisite, in list order
  // The installation step detects again what its programs installed: the
  // found texts change, the detection-time Actions never do.
  PrerequisiteList* prerequisites = nullptr;
  PayloadArchive* payload = nullptr;
  DownloadBatch downloads;
  RestartNeed restart = RestartNeed::None;
  RunLog* log = nullptr;  // null: nothing is logged
  // A layout's copy of the setup, which no download may take; empty in a
  // normal run.
  String setupCopy;
};

// Builds the plan over `prerequisites` and `payload`, both of which must
// outlive it: the actions copied, the download folder the bootstrapper's
// own (with its backslash), no items, then ReconcileDownloads. False when
// memory runs out.
bool BuildPlan(PayloadArchive& payload, PrerequisiteList& prerequisites, DownloadServices& services,
               PrereqPlan* plan);

// Builds the plan of a layout in `folder` (ending in a backslash): every
// prerequisite with a Url is to be downloaded, whatever detection would
// say on this machine, since a layout is for others; the rest are left
// alone. Then ReconcileDownloads, so that what is complete there already
// is not fetched again. `setupCopy` is the setup's copy in the folder.
// False when memory runs out.
bool BuildLayoutPlan(PayloadArchive& payload, PrerequisiteList& prerequisites, const char* folder,
                     const char* setupCopy, DownloadServices& services, PrereqPlan* plan);

// Appends the display name of every prerequisite with a Url whose file
// the latest reconcile or download run did not find complete, one a line,
// and returns how many there are.
size_t ListMissingDownloads(const PrereqPlan& plan, String* names);

// Makes `path` (a backslash appended unless it ends in one) the download
// folder, then reconciles. False, with the folder as it was, when memory
// runs out.
bool SetDownloadFolder(PrereqPlan& plan, const char* path, DownloadServices& services);

// The local file of the download of prerequisite `index` in the plan's
// folder (its FileName, else the file name of its URL). False when it
// cannot be saved there: the name is not one Windows stores as written, it
// is the setup's own file or its layout copy, or an earlier prerequisite of the list
// downloads another address, size or digest under a name the folder takes
// for the same file, whose bytes this one would splice or overwrite. Two
// prerequisites with the same address, size and digest share one file.
bool DownloadPath(const PrereqPlan& plan, size_t index, LeadByteTest isLead, String* path);

// Looks at the local file of every prerequisite whose action is Download
// or InstallExisting: exactly ExactSize bytes, and with a Sha256 that
// digest, make it InstallExisting; anything else (no file, another size,
// other content) Download. Other actions are left alone. Without a Sha256
// the content of a file of the right size is taken on trust.
void ReconcileDownloads(PrereqPlan& plan, DownloadServices& services);

// Refills the batch's items from the Download actions (url, ExactSize,
// Sha256, name, local path or none, Pending, index), runs the downloads (RunDownloads: `dialog` null
// is the silent run) and returns the run's result. The silent run applies its
// results, whatever they are. A run is made even without items: the
// dialog then opens and closes.
int32_t DownloadPrerequisites(PrereqPlan& plan, DownloadServices& services, DownloadDialog* dialog);

// The outcome of the latest run as actions: InstallDownloaded for an item
// that ended Done, NotFound for every other.
void ApplyDownloadResults(PrereqPlan& plan);

// The string-table text that tells why a download run ended with `code`.
unsigned DownloadFailureText(int32_t code);

}  // namespace korvelt
