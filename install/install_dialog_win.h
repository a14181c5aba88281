// The installation dialog, "Launching PreRequisites": a small modal window
// that names the prerequisite being installed while the installer thread
// starts the setup programs and waits for them.
#pragma once

#include <windows.h>

#include "install/install.h"

namespace korvelt {

class Win32InstallDialog final : public InstallDialog {
 public:
  // Shows template 205 modally, owned by the thread's active window, until
  // the installer thread's IN_ALL_DONE.
  bool Show(InstallRun& run) override;
};

}  // namespace korvelt
