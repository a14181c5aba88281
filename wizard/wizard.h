// The wizard as the prerequisite phase sees it: a modal two-page sheet
// over the plan that ends Finished or Cancelled. While it runs, the user
// changes the plan's actions and download folder, and its download and
// installation steps may run; the caller sees those changes afterwards.
#pragma once

#include <stdint.h>

#include "install/install.h"
#include "download/plan.h"
#include "download/batch.h"

namespace korvelt {

enum class WizardOutcome : int32_t {
  Finished,   // Finish was pressed: the main installation follows
  Cancelled,  // Cancel, the close box or Escape: nothing more is installed
};

// What the wizard's steps run with: the services of the downloads and of
// the installation step, and the windows of their interactive runs.
struct WizardServices {
  DownloadServices& downloads;
  InstallServices& installs;
  DownloadDialog* downloadDialog;
  InstallDialog* installDialog;
};

class Wizard {
 public:
  // Runs the wizard over `plan` until the user finishes or cancels it.
  virtual WizardOutcome Run(PrereqPlan& plan) = 0;

 protected:
  ~Wizard() = default;
};

}  // namespace korvelt
