// The download dialog, "Downloading...": the modal, resizable window of an
// interactive download run. It lists the files, shows the current file's
// and the whole run's progress and the speed of the last chunk, pauses,
// resumes and cancels the worker, which it starts itself once its window
// exists. What it shows is decided by DownloadDialogModel.
#pragma once

#include "download/worker.h"

namespace korvelt {

// Pass one to DownloadPrerequisites for the interactive run. Holds no
// state; one instance serves every run.
class Win32DownloadDialog final : public DownloadDialog {
 public:
  // Runs template 203 modally, owned by the thread's active window, and
  // returns 0 when the worker processed every item, 1 when the download
  // could not start (no worker thread, no session, a URL that cannot be
  // opened, or no window), 4 when the user aborted.
  int32_t Show(DownloadBatch& batch, DownloadServices& services) override;
};

}  // namespace korvelt
