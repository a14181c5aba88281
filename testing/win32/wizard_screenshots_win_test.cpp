// Screen captures of the wizard's pages as a user walks through them, for
// a person to look at. They run when KORVELT_SCREENSHOT_DIR names a host
// folder for the images.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "testing/win32/wizard_driver.h"
#include "wizard/pages_win.h"

namespace korvelt {
namespace {

using testing::SheetDriver;
using testing::WizardSetup;

class WizardScreenshotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::HaveDisplay()) GTEST_SKIP() << "captures need a display";
    char value[1024];
    DWORD length = GetEnvironmentVariableA("KORVELT_SCREENSHOT_DIR", value, sizeof value);
    if (length == 0 || length >= sizeof value) GTEST_SKIP() << "KORVELT_SCREENSHOT_DIR is not set";
    directory = value;
  }

  // Lets the windows paint, then captures the screen.
  void Capture(SheetDriver& d, const char* name) {
    d.Sync();
    Sleep(400);
    d.Note(std::string(name) + (testing::CaptureScreen(directory, name) ? " captured" : " not captured"));
  }

  std::string directory;
};

// Information page, the list in DownloadStep, the chooser dropped, the
// folder picker, a failed download's message, InstallStep and FinishStep.
TEST_F(WizardScreenshotTest, WalkThroughTheWizard) {
  std::string folder = testing::ProgramFolder();
  WizardSetup setup(testing::ReadText(folder + "\\prereq_versioned.dll"));
  setup.Add("Contoso Runtime 4.8", "runtime.exe", Install, "", 0, "4.0.30319");
  setup.Add("Visual C++ Redistributable", "http://127.0.0.1:9/vc_redist.x86.exe", Download, "", 300);
  setup.Add("SQL Server Compact 4.0", "sqlce.exe", DontInstall, "", 0, "4.0.8876.1");
  setup.Add("DirectX 9.0c Runtime", "http://127.0.0.1:9/dxsetup.exe", NotRequired, "", 10);
  ASSERT_TRUE(setup.Build());
  setup.downloadDialog.codes = {2, 0};
  setup.Run([&](SheetDriver& d) {
    SetForegroundWindow(d.sheet());
    Capture(d, "wizard_information");
    d.Press(kNextButton);
    Capture(d, "wizard_prerequisites");

    d.ClickCell(1, 2);
    SendMessageA(d.Chooser(), CB_SHOWDROPDOWN, TRUE, 0);
    Capture(d, "wizard_chooser");
    SendMessageA(d.Chooser(), CB_SHOWDROPDOWN, FALSE, 0);
    d.ClickCell(1, 0);

    d.Click(d.Item(IDC_BROWSE), false);
    HWND picker = d.WaitForPopup();
    if (picker) {
      Capture(d, "wizard_browse");
      SendMessageA(picker, WM_COMMAND, IDCANCEL, 0);
      d.WaitGone(picker);
    }

    d.Press(kNextButton, false);
    HWND box = d.WaitForPopup();
    if (box) {
      Capture(d, "wizard_download_failed");
      SendMessageA(box, WM_COMMAND, IDOK, 0);
      d.WaitGone(box);
    }
    d.Press(kNextButton);
    Capture(d, "wizard_install_step");
    d.Press(kNextButton, false);
    d.WaitFor([&] { return d.Cell(0, 2) == "Installed"; });
    Capture(d, "wizard_finish_step");
    d.Press(kFinishButton, false);
  });
  EXPECT_EQ(setup.log, (std::vector<std::string>{
                           "wizard_information captured", "wizard_prerequisites captured", "wizard_chooser captured",
                           "wizard_browse captured", "wizard_download_failed captured",
                           "wizard_install_step captured", "wizard_finish_step captured"}));
}

}  // namespace
}  // namespace korvelt
