// The prerequisite phase: the configuration read under the "Preparing..."
// window, every prerequisite detected and its action decided, and, when
// there is work to do, the bootstrapper registered to run again after a
// restart. With the quiet option the missing prerequisites are then
// downloaded and every one to install is run, without a window.
#pragma once

#include "app/run.h"
#include "download/install.h"
#include "download/plan.h"
#include "prereq/phase.h"

namespace korvelt {

class ModelPrerequisitePhase final : public PrerequisitePhase {
 public:
  ModelPrerequisitePhase(RunShell& shell, PrereqServices& services, DownloadServices& downloads,
                         InstallServices& installs)
      : shell_(shell), services_(services), downloads_(downloads), installs_(installs) {}

  bool Run(PayloadArchive& archive, const char* runTitle, const char* runValueName, String* mainParameters) override;

 private:
  void RunQuietly(PayloadArchive& archive, const PrerequisiteList& list);

  RunShell& shell_;
  PrereqServices& services_;
  DownloadServices& downloads_;
  InstallServices& installs_;
};

}  // namespace korvelt
