// The wizard's pages without their windows: what each page does to the
// sheet's buttons, the PreRequisites page's counts, step and hint line,
// what Next does in each step, and the action chooser's entries and what a
// choice does to the plan. The Win32 pages turn messages into calls of
// this model and its answers into window calls.
#pragma once

#include <stdint.h>

#include "base/chars.h"
#include "base/string.h"
#include "download/plan.h"
#include "download/batch.h"
#include "prereq/records.h"

namespace korvelt {

// Where the PreRequisites page stands: Next downloads, Next installs, or
// only Finish is left.
enum class WizardStep : int32_t { DownloadStep, InstallStep, FinishStep };

// What a page does to one of the sheet's buttons. A button keeps the state
// last set, across page changes, until something sets it again.
enum class ButtonChange : int8_t { Keep, Enable, Disable };

struct ButtonChanges {
  ButtonChange back = ButtonChange::Keep;
  ButtonChange next = ButtonChange::Keep;
  ButtonChange finish = ButtonChange::Keep;
  bool operator==(const ButtonChanges&) const = default;
};

// The Information page. Created: Finish is disabled while a mandatory
// prerequisite is pending. Activated: Back disabled, Next enabled. Next:
// Back enabled for the page that follows.
ButtonChanges InformationCreated(int32_t mandatoryCount);
ButtonChanges InformationActivated();
ButtonChanges InformationNext();

// The PreRequisites page's hint line and buttons for a step. Finish is
// left alone until FinishStep enables it, and stays enabled after.
struct StepView {
  const char* hint;
  ButtonChanges buttons;
};
StepView ViewOfStep(WizardStep step);

// What Next on the PreRequisites page does in a step.
enum class NextWork : int32_t { Downloads, Installs, Nothing };
NextWork WorkOfStep(WizardStep step);

// The sheet's caption. `name` is the bootstrapper's path after
// ReadProductName had its chance to replace it with the product name;
// " Setup" follows when the version information could be read.
bool WizardTitle(const String& name, bool versionRead, String* title);

// Prerequisites the user may not leave out whose detection-time action
// (the list's, not the plan's) installs or downloads them.
int32_t MandatoryCount(const PrerequisiteList& list, LeadByteTest isLead);

// The list's columns.
enum ListColumn : int32_t { NameColumn = 0, StatusColumn = 1, ActionColumn = 2 };

// The columns' widths in pixels for a list whose client area (without its
// vertical scroll bar) is `clientWidth` wide: Action as wide as its widest
// text and the chooser's button need, Status as its widest text needs as
// long as Name keeps `minimumName`, and Name the rest, so that the three
// fill the client area exactly and no horizontal scroll bar shows. A
// list too narrow for Action alone gives it all.
struct ColumnWidths {
  int32_t name = 0;
  int32_t status = 0;
  int32_t action = 0;
  bool operator==(const ColumnWidths&) const = default;
};
ColumnWidths FitColumns(int32_t clientWidth, int32_t statusNeed, int32_t actionNeed, int32_t minimumName);

// The chooser's two entries, in order, and the one preselected.
struct ChooserEntries {
  const char* texts[2];
  int32_t selected;
};
ChooserEntries EntriesFor(PrereqSource source, PrereqAction action);

// The PreRequisites page's state over the plan: row i stands for
// prerequisite i and for action i of the plan, always.
class PrerequisitesModel {
 public:
  // The plan and the services must outlive the model. Counts
  // mandatoryCount; the step is derived by the first Refresh.
  PrerequisitesModel(PrereqPlan& plan, DownloadServices& services);
  PrerequisitesModel(const PrerequisitesModel&) = delete;
  PrerequisitesModel& operator=(const PrerequisitesModel&) = delete;

  // Sets the caption (WizardTitle); false when memory runs out.
  bool SetTitle(const String& name, bool versionRead) { return WizardTitle(name, versionRead, &title_); }

  // Recounts the rows to download and to install, derives the step from
  // them and enables Browse while something is to be downloaded.
  void Refresh();

  // After a download run that ended with `code`: a run with items that
  // succeeded turns its items' outcomes into actions; a failed one leaves
  // the actions for Next to try again. Refreshes either way. True when the
  // failure is to be reported to the user.
  bool EndDownloadRun(int32_t code, bool hadItems);

  // After the installation step, which made each row it ran Installed or
  // Failed: Browse is disabled and only Finish is left. The counts are not
  // recomputed.
  void EndInstallRun();

  // A click on the list at `item`, `subitem`, the list holding `itemCount`
  // rows. True when a chooser opens for it, with `entries`: only on the
  // Action cell of an existing row that is neither NotRequired nor
  // mandatory.
  bool OpenChooser(int32_t item, int32_t subitem, int32_t itemCount, ChooserEntries* entries);

  // The chooser left with entry `index` selected: the second entry downloads
  // (reconciled with the folder at once) or installs, the first installs
  // nothing except that an Installed row stays so. A negative index, no
  // selection at all, changes nothing. A change is logged. Refreshes.
  void CommitChoice(int32_t index);

  // Browse chose `folder`: it becomes the download folder, reconciled, and
  // the page is refreshed. False, nothing changed, when memory runs out.
  bool ChangeFolder(const char* folder);

  const String& title() const { return title_; }
  int32_t mandatoryCount() const { return mandatoryCount_; }
  int32_t rowCount() const { return rowCount_; }
  int32_t downloadCount() const { return downloadCount_; }
  int32_t installCount() const { return installCount_; }
  WizardStep step() const { return step_; }
  int32_t editRow() const { return editRow_; }
  bool browseEnabled() const { return browseEnabled_; }
  const PrereqPlan& plan() const { return plan_; }

 private:
  PrereqPlan& plan_;
  DownloadServices& services_;
  String title_;
  int32_t mandatoryCount_ = 0;
  int32_t rowCount_ = 0;
  int32_t downloadCount_ = 0;
  int32_t installCount_ = 0;
  WizardStep step_ = WizardStep::FinishStep;
  int32_t editRow_ = -1;
  bool browseEnabled_ = false;
};

}  // namespace korvelt
