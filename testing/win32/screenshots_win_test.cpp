// Screen captures of the windows the run shows, for a person to look at.
// They run when KORVELT_SCREENSHOT_DIR names a host folder for the images.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "app/payload_message_win.h"
#include "resources/resource_ids.h"
#include "testing/win32/download_dialog_driver.h"
#include "testing/win32/ui_helpers.h"
#include "ui/status_window_win.h"

namespace korvelt {
namespace {

class ScreenshotTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::HaveDisplay()) GTEST_SKIP() << "captures need a display";
    char value[1024];
    DWORD length = GetEnvironmentVariableA("KORVELT_SCREENSHOT_DIR", value, sizeof value);
    if (length == 0 || length >= sizeof value) GTEST_SKIP() << "KORVELT_SCREENSHOT_DIR is not set";
    directory = value;
  }

  // The size of a captured image, 0 when there is none.
  DWORD ImageSize(const std::string& name) {
    std::string path = "Z:" + directory + "/" + name + ".png";
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return data.nFileSizeLow;
  }

  // With `dispatch` false the thread handles no message while the window
  // is up, as the run does.
  void CaptureStatusWindow(const char* name, const char* text, bool dispatch = true) {
    HWND window = OpenStatusWindow();
    ASSERT_NE(window, nullptr);
    SetWindowTextA(window, "Korvelt Setup");
    if (text) SetStatusText(window, text);
    if (dispatch) {
      // Shown active, as it is when the run is the foreground program.
      SetForegroundWindow(window);
      testing::PumpMessages(500);
    } else {
      // As the run leaves it: painted once, then no message handled while
      // the server maps it.
      Sleep(300);
      RepaintStatusWindow(window);
    }
    EXPECT_TRUE(testing::CaptureScreen(directory, name));
    DestroyWindow(window);
    testing::PumpMessages(100);
    // An empty screen compresses to a few hundred bytes; a window does not.
    EXPECT_GT(ImageSize(name), 2000u) << name;
  }

  std::string directory;
};

// The "Preparing..." window, as the prerequisite phase shows it.
TEST_F(ScreenshotTest, StatusWindowPreparing) { CaptureStatusWindow("status_preparing", nullptr); }

// The window during the extraction of the main files.
TEST_F(ScreenshotTest, StatusWindowExtracting) {
  CaptureStatusWindow("status_extracting", "Extracting the main application files...");
}

// The window as the run leaves it: created, captioned, no message handled.
TEST_F(ScreenshotTest, StatusWindowWithoutDispatch) {
  CaptureStatusWindow("status_undispatched", "Extracting the main application files...", false);
}

// The message for a payload of an unknown version.
TEST_F(ScreenshotTest, PayloadErrorBox) {
  testing::MessageBoxWatcher watcher(GetCurrentThreadId(), directory, "payload_error");
  EXPECT_EQ(ShowPayloadError(PayloadError::BadVersion), 0);
  ASSERT_TRUE(watcher.Finish().found);
  EXPECT_TRUE(watcher.Captured());
  EXPECT_GT(ImageSize("payload_error"), 2000u);
}

// The download dialog halfway through a run of three files: the first
// complete, the second under way, the third waiting; then the box for a
// file of the wrong size over it.
TEST_F(ScreenshotTest, DownloadDialog) {
  testing::DownloadDialogDriver driver;
  ASSERT_TRUE(driver.batch.folder.Assign("C:\\Downloads\\"));
  driver.Add("http://downloads.example.com/runtimes/2010/sp1/vcredist_x86.exe", 4995416);
  driver.Add("http://downloads.example.com/fonts/corefonts-setup.exe", 1843200);
  driver.Add("http://downloads.example.com/directx/dxwebsetup.exe", 292184);
  bool midway = false;
  bool wrongSize = false;
  int32_t code = driver.Run([&](HWND dialog) {
    if (!dialog) return;
    using testing::Deliver;
    Deliver(dialog, DL_FILE_START, 0);
    Deliver(dialog, DL_PROGRESS, 4995416, 0);
    Deliver(dialog, DL_FILE_DONE, 0);
    Deliver(dialog, DL_FILE_START, 1);
    Deliver(dialog, DL_PROGRESS, 802816, 81297);
    Sleep(500);
    midway = testing::CaptureScreen(directory, "download_dialog");
    PostMessageA(dialog, DL_WRONG_SIZE, 1843201, 0);
    if (testing::WaitForDialog(GetWindowThreadProcessId(dialog, nullptr), nullptr, dialog)) {
      Sleep(500);
      wrongSize = testing::CaptureScreen(directory, "download_wrong_size");
    }
  });
  EXPECT_EQ(code, DownloadSucceeded);
  EXPECT_TRUE(midway);
  EXPECT_TRUE(wrongSize);
  EXPECT_GT(ImageSize("download_dialog"), 2000u);
  EXPECT_GT(ImageSize("download_wrong_size"), 2000u);
}

}  // namespace
}  // namespace korvelt
