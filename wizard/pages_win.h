// The wizard's two pages and what they share while the sheet runs: the
// sheet's buttons, its title, and whether Finish ended it.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include "ui/window_icons_win.h"
#include "wizard/action_chooser_win.h"
#include "wizard/information_text.h"
#include "wizard/page_model.h"
#include "wizard/wizard.h"

namespace korvelt {

// The sheet's buttons, by their ids in the sheet window.
constexpr int kBackButton = 12323;
constexpr int kNextButton = 12324;
constexpr int kFinishButton = 12325;

// Enables and disables the sheet's buttons directly: each keeps the state
// last set, across page changes. Next is then the default button when it
// is enabled, else Finish.
void ApplyButtons(HWND sheet, const ButtonChanges& changes);

// Gives the keyboard focus to the sheet's default button, when it is
// enabled, or to `control` of a page, once the sheet has done what it is
// doing.
void FocusDefaultButton(HWND sheet);
void FocusControl(HWND sheet, HWND control);

class SetupWizard;

// The first page: the stored document, read-only, and the first look of
// the sheet (its icons, its place).
class InformationPage {
 public:
  explicit InformationPage(SetupWizard& wizard) : wizard_(wizard) {}
  InformationPage(const InformationPage&) = delete;
  InformationPage& operator=(const InformationPage&) = delete;

  static INT_PTR CALLBACK Proc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  void Create(HWND page);
  INT_PTR Notify(HWND page, const NMHDR& header);
  static LRESULT CALLBACK TextProc(HWND text, UINT message, WPARAM wParam, LPARAM lParam);

  SetupWizard& wizard_;
  bool activated_ = false;
  InfoTextReader reader_;
  WNDPROC textProc_ = nullptr;
  WindowIcons icons_;
};

// The second page: the prerequisites with their status and action, the
// download folder, and the steps that Next runs.
class PrerequisitesPage final : public ChoiceTarget {
 public:
  PrerequisitesPage(SetupWizard& wizard, PrereqPlan& plan, WizardServices& services);
  PrerequisitesPage(const PrerequisitesPage&) = delete;
  PrerequisitesPage& operator=(const PrerequisitesPage&) = delete;

  static INT_PTR CALLBACK Proc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

  PrerequisitesModel& model() { return model_; }
  void CommitChoice(int32_t index) override;

 private:
  void SetUp();
  void FitColumns();
  void Refresh();
  void Show();
  void ShowActions();
  void ShowStatus();
  void ShowStep();
  INT_PTR Notify(const NMHDR& header);
  void RunDownloadStep();
  void RunInstallStep();
  void BrowseForFolder();
  void OpenChooser(int32_t row, int32_t column, bool dropped);
  bool OpenChooserByKey(UINT message, WPARAM key);
  void MakeTip();
  void ShowTip(LPARAM at);
  void HideTip();
  static LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam);

  SetupWizard& wizard_;
  PrereqPlan& plan_;
  WizardServices& services_;
  PrerequisitesModel model_;
  ActionChooser chooser_;
  HWND page_ = nullptr;
  WNDPROC listProc_ = nullptr;
  // The tip over a cell whose text the column cuts: the cell it shows and
  // the whole text.
  HWND tip_ = nullptr;
  int32_t tipRow_ = -1;
  int32_t tipColumn_ = -1;
  char tipText_[260] = "";
};

// The wizard while the sheet runs: both pages, and whether Finish ended it.
class SetupWizard {
 public:
  SetupWizard(PrereqPlan& plan, WizardServices& services)
      : information(*this), prerequisites(*this, plan, services) {}

  // The sheet's caption, shown from the first page's activation on.
  const String& title() { return prerequisites.model().title(); }
  void PostTitle(HWND sheet) { PostMessageA(sheet, PSM_SETTITLEA, 0, reinterpret_cast<LPARAM>(title().c_str())); }

  bool cancelled = true;
  InformationPage information;
  PrerequisitesPage prerequisites;
};

// Answers a notification with `value`.
inline INT_PTR Reply(HWND page, LONG_PTR value) {
  SetWindowLongPtrA(page, DWLP_MSGRESULT, value);
  return TRUE;
}

}  // namespace korvelt
