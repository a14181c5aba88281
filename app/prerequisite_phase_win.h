// The prerequisite phase on the real system.
#pragma once

#include "app/run.h"

namespace korvelt {

class Win32PrerequisitePhase final : public PrerequisitePhase {
 public:
  bool Run(PayloadArchive& archive, const char* runTitle, const char* runValueName, String* mainParameters) override;
};

}  // namespace korvelt
