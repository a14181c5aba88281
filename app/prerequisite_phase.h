// The prerequisite phase: the configuration read under the "Preparing..."
// window, every prerequisite detected and its action decided, and, when
// there is work to do, the bootstrapper registered to run again after a
// restart.
#pragma once

#include "app/run.h"
#include "prereq/phase.h"

namespace korvelt {

class ModelPrerequisitePhase final : public PrerequisitePhase {
 public:
  ModelPrerequisitePhase(RunShell& shell, PrereqServices& services) : shell_(shell), services_(services) {}

  bool Run(PayloadArchive& archive, const char* runTitle, const char* runValueName, String* mainParameters) override;

 private:
  RunShell& shell_;
  PrereqServices& services_;
};

}  // namespace korvelt
