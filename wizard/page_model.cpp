#include "wizard/page_model.h"

#include "install/install.h"
#include "prereq/decision.h"

namespace korvelt {
namespace {

constexpr ButtonChange Keep = ButtonChange::Keep;
constexpr ButtonChange Enable = ButtonChange::Enable;
constexpr ButtonChange Disable = ButtonChange::Disable;

bool Installs(PrereqAction action) { return action == Install || action == InstallDownloaded || action == InstallExisting; }

}  // namespace

ButtonChanges InformationCreated(int32_t mandatoryCount) {
  return ButtonChanges{Keep, Keep, mandatoryCount > 0 ? Disable : Keep};
}

ButtonChanges InformationActivated() { return ButtonChanges{Disable, Enable, Keep}; }

ButtonChanges InformationNext() { return ButtonChanges{Enable, Keep, Keep}; }

StepView ViewOfStep(WizardStep step) {
  switch (step) {
    case WizardStep::DownloadStep:
      return StepView{"Please press the Next button to start downloading the prerequisites.", {Enable, Enable, Keep}};
    case WizardStep::InstallStep:
      return StepView{"Please press the Next button to install the prerequisites.", {Enable, Enable, Keep}};
    case WizardStep::FinishStep:
    default:
      return StepView{"Please press the Finish button to install the main application.", {Keep, Disable, Enable}};
  }
}

NextWork WorkOfStep(WizardStep step) {
  switch (step) {
    case WizardStep::DownloadStep:
      return NextWork::Downloads;
    case WizardStep::InstallStep:
      return NextWork::Installs;
    case WizardStep::FinishStep:
    default:
      return NextWork::Nothing;
  }
}

bool WizardTitle(const String& name, bool versionRead, String* title) {
  String text;
  if (!text.Assign(name) || (versionRead && !text.Append(" Setup"))) return false;
  *title = static_cast<String&&>(text);
  return true;
}

ColumnWidths FitColumns(int32_t clientWidth, int32_t statusNeed, int32_t actionNeed, int32_t minimumName) {
  auto least = [](int32_t a, int32_t b) { return a < b ? a : b; };
  auto atLeastZero = [](int32_t value) { return value < 0 ? 0 : value; };
  ColumnWidths widths;
  int32_t rest = atLeastZero(clientWidth);
  widths.action = least(atLeastZero(actionNeed), rest);
  rest -= widths.action;
  int32_t keptForName = least(atLeastZero(minimumName), rest);
  widths.status = least(atLeastZero(statusNeed), rest - keptForName);
  widths.name = rest - widths.status;
  return widths;
}

int32_t MandatoryCount(const PrerequisiteList& list, LeadByteTest isLead) {
  int32_t count = 0;
  for (size_t i = 0; i < list.Count() && i < list.Actions.Count(); ++i) {
    PrereqAction action = list.Actions[i];
    if ((action == Install || action == Download) && IsMandatory(list.Prerequisites[i], isLead)) ++count;
  }
  return count;
}

ChooserEntries EntriesFor(PrereqSource source, PrereqAction action) {
  // A file already in the download folder is installed, not fetched again.
  bool fetches = source == PrereqSource::Url && action != InstallDownloaded && action != InstallExisting;
  int32_t selected = action == Download || Installs(action) ? 1 : 0;
  return ChooserEntries{{"Don't Install", fetches ? "Download" : "Install"}, selected};
}

PrerequisitesModel::PrerequisitesModel(PrereqPlan& plan, DownloadServices& services)
    : plan_(plan), services_(services) {
  size_t rows = plan.prerequisites->Count() < plan.actions.Count() ? plan.prerequisites->Count() : plan.actions.Count();
  rowCount_ = static_cast<int32_t>(rows);
  mandatoryCount_ = MandatoryCount(*plan.prerequisites, services.isLead);
}

void PrerequisitesModel::Refresh() {
  downloadCount_ = 0;
  installCount_ = 0;
  for (int32_t i = 0; i < rowCount_; ++i) {
    PrereqAction action = plan_.actions[i];
    if (action == Download) ++downloadCount_;
    if (Installs(action)) ++installCount_;
  }
  if (downloadCount_ > 0) {
    step_ = WizardStep::DownloadStep;
  } else if (installCount_ > 0) {
    step_ = WizardStep::InstallStep;
  } else {
    step_ = WizardStep::FinishStep;
  }
  browseEnabled_ = downloadCount_ > 0;
}

bool PrerequisitesModel::EndDownloadRun(int32_t code, bool hadItems) {
  bool failed = hadItems && code != DownloadSucceeded;
  // Refresh leaves Browse disabled after a successful run: nothing is left
  // to download.
  if (hadItems && !failed) ApplyDownloadResults(plan_);
  Refresh();
  return failed;
}

void PrerequisitesModel::EndInstallRun() {
  // The installation step has judged every row it ran: Installed or
  // Failed. A Failed row is scheduled again with the chooser.
  browseEnabled_ = false;
  step_ = WizardStep::FinishStep;
}

bool PrerequisitesModel::OpenChooser(int32_t item, int32_t subitem, int32_t itemCount, ChooserEntries* entries) {
  if (subitem != ActionColumn || item < 0 || item >= itemCount || item >= rowCount_) return false;
  PrereqAction action = plan_.actions[item];
  if (action == NotRequired) return false;
  editRow_ = item;
  const Prerequisite& prerequisite = plan_.prerequisites->Prerequisites[item];
  if (IsMandatory(prerequisite, services_.isLead)) return false;
  *entries = EntriesFor(prerequisite.Source, action);
  return true;
}

void PrerequisitesModel::CommitChoice(int32_t index) {
  if (editRow_ >= 0 && editRow_ < rowCount_ && index >= 0) {
    PrereqAction& action = plan_.actions[editRow_];
    PrereqAction before = action;
    if (index == 0) {
      if (action != Installed) action = DontInstall;
    } else if (plan_.prerequisites->Prerequisites[editRow_].Source == PrereqSource::Url) {
      action = Download;
      ReconcileDownloads(plan_, services_);
    } else {
      action = Install;
    }
    if (action != before) {
      LogPrint(plan_.log, "user: App%u %q changed from %s to %s", static_cast<uint32_t>(editRow_) + 1,
               plan_.prerequisites->Prerequisites[editRow_].DisplayName.c_str(), ActionText(before), ActionText(action));
    }
  }
  Refresh();
}

bool PrerequisitesModel::ChangeFolder(const char* folder) {
  if (!SetDownloadFolder(plan_, folder, services_)) return false;
  LogPrint(plan_.log, "user: download folder %q", plan_.downloads.folder.c_str());
  Refresh();
  return true;
}

}  // namespace korvelt
