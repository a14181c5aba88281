#include "wizard/wizard_win.h"

#include "platform/version_info_win.h"
#include "resources/resource_ids.h"
#include "wizard/pages_win.h"

namespace korvelt {
namespace {

// The pages do all the work; the sheet needs no handling of its own.
int CALLBACK SheetCallback(HWND, UINT, LPARAM) { return 0; }

// The page object reaches its window through the page's parameter when
// the window is initialised; creation is always allowed.
UINT CALLBACK PageCallback(HWND, UINT message, LPPROPSHEETPAGEA) { return message == PSPCB_CREATE ? 1 : 0; }

void Apply(HWND sheet, int id, ButtonChange change) {
  if (change != ButtonChange::Keep) EnableWindow(GetDlgItem(sheet, id), change == ButtonChange::Enable);
}

}  // namespace

void ApplyButtons(HWND sheet, const ButtonChanges& changes) {
  Apply(sheet, kBackButton, changes.back);
  Apply(sheet, kNextButton, changes.next);
  Apply(sheet, kFinishButton, changes.finish);
  // Enter presses Next while Next has work to do, and Finish only after:
  // the sheet would otherwise keep Finish as its default button, and Enter
  // would skip every prerequisite.
  SendMessageA(sheet, DM_SETDEFID, IsWindowEnabled(GetDlgItem(sheet, kNextButton)) ? kNextButton : kFinishButton, 0);
}

void FocusDefaultButton(HWND sheet) {
  LRESULT id = SendMessageA(sheet, DM_GETDEFID, 0, 0);
  HWND button = HIWORD(id) == DC_HASDEFID ? GetDlgItem(sheet, LOWORD(id)) : nullptr;
  if (button && IsWindowEnabled(button)) FocusControl(sheet, button);
}

void FocusControl(HWND sheet, HWND control) {
  // Posted, so that it comes after whatever the sheet does with the focus
  // while it changes pages; through the dialog manager, so that the
  // default button follows.
  PostMessageA(sheet, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
}

WizardOutcome RunWizard(PrereqPlan& plan, WizardServices& services) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  SetupWizard wizard(plan, services);
  // The caption names the product when the version information has one,
  // and ends in " Setup" whenever that information could be read.
  String name;
  const char* exePath = plan.payload->exePath().c_str();
  if (name.Assign(exePath)) {
    bool versionRead = ReadProductName(exePath, &name);
    wizard.prerequisites.model().SetTitle(name, versionRead);
  }

  HINSTANCE instance = GetModuleHandleA(nullptr);
  struct PageDescription {
    int templateId;
    DLGPROC procedure;
    void* object;
  } descriptions[] = {
      {IDD_INFORMATION, InformationPage::Proc, &wizard.information},
      {IDD_PREREQUISITES, PrerequisitesPage::Proc, &wizard.prerequisites},
  };
  HPROPSHEETPAGE pages[2];
  UINT count = 0;
  for (const PageDescription& description : descriptions) {
    PROPSHEETPAGEA page = {};
    page.dwSize = sizeof page;
    page.dwFlags = PSP_USECALLBACK;
    page.hInstance = instance;
    page.pszTemplate = MAKEINTRESOURCEA(description.templateId);
    page.pfnDlgProc = description.procedure;
    page.lParam = reinterpret_cast<LPARAM>(description.object);
    page.pfnCallback = PageCallback;
    // A page that cannot be made is left out.
    HPROPSHEETPAGE handle = CreatePropertySheetPageA(&page);
    if (handle) pages[count++] = handle;
  }

  PROPSHEETHEADERA header = {};
  header.dwSize = sizeof header;
  header.dwFlags = PSH_WIZARD | PSH_WIZARDHASFINISH | PSH_USECALLBACK;
  header.hwndParent = GetActiveWindow();
  header.hInstance = instance;
  header.pszCaption = "SetupWizard";
  header.nPages = count;
  header.nStartPage = 0;
  header.phpage = pages;
  header.pfnCallback = SheetCallback;
  // The sheet destroys the pages it was given.
  PropertySheetA(&header);
  return wizard.cancelled ? WizardOutcome::Cancelled : WizardOutcome::Finished;
}

}  // namespace korvelt
