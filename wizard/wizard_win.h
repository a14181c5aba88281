// The wizard on the real system: a modal property sheet in wizard mode
// with the Information page and the PreRequisites page.
#pragma once

#include "wizard/wizard.h"

namespace korvelt {

// Runs the sheet over `plan`, owned by the thread's active window, until
// Finish (Finished) or Cancel, the close box or Escape (Cancelled). A sheet
// that cannot be shown at all reads as Cancelled.
WizardOutcome RunWizard(PrereqPlan& plan, WizardServices& services);

class Win32Wizard final : public Wizard {
 public:
  explicit Win32Wizard(WizardServices& services) : services_(services) {}
  WizardOutcome Run(PrereqPlan& plan) override { return RunWizard(plan, services_); }

 private:
  WizardServices& services_;
};

}  // namespace korvelt
