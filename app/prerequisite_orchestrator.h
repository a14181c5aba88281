// The prerequisite phase: the configuration read under the "Preparing..."
// window, every prerequisite detected and its action decided, and, when
// there is work to do, the bootstrapper registered to run again after a
// restart. The wizard then lets the user review the actions and run the
// downloads and installs; with the quiet option the missing prerequisites
// are downloaded and every one to install is run at once, without a window.
// Either way each program's exit code and what detection finds after it
// decide whether it is Installed or Failed, and whether a restart is due.
#pragma once

#include "app/run.h"
#include "install/install.h"
#include "download/plan.h"
#include "prereq/preparation.h"
#include "wizard/wizard.h"

namespace korvelt {

class PrerequisiteOrchestrator final : public PrerequisitePhase {
 public:
  // `log` null: nothing is logged. `layoutDialog` shows the downloads of a
  // layout; null, they run without a window.
  PrerequisiteOrchestrator(RunHost& host, PrereqServices& services, DownloadServices& downloads,
                           InstallServices& installs, Wizard& wizard, RunLog* log = nullptr,
                           DownloadDialog* layoutDialog = nullptr)
      : host_(host),
        services_(services),
        downloads_(downloads),
        installs_(installs),
        wizard_(wizard),
        log_(log),
        layoutDialog_(layoutDialog) {}

  PhaseOutcome Run(PayloadArchive& archive, const char* runTitle, const char* runValueName,
                   String* mainParameters) override;
  bool IsQuiet(PayloadArchive& archive) override;
  bool ConfiguredLogFile(PayloadArchive& archive, String* path) override;
  LayoutDownloads DownloadForLayout(PayloadArchive& archive, const char* folder, const char* setupCopy,
                                    String* missing) override;

 private:
  RunHost& host_;
  PrereqServices& services_;
  DownloadServices& downloads_;
  InstallServices& installs_;
  Wizard& wizard_;
  RunLog* log_;
  DownloadDialog* layoutDialog_;
};

}  // namespace korvelt
