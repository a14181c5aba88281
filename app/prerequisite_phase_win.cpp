#include "app/prerequisite_phase_win.h"

namespace korvelt {

bool Win32PrerequisitePhase::Run(PayloadArchive&, const char*, const char*, String*) { return true; }

}  // namespace korvelt
