#include "ui/status_window_win.h"

#include <gtest/gtest.h>

#include "resources/resource_ids.h"
#include "testing/win32/ui_helpers.h"

namespace korvelt {
namespace {

class StatusWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::HaveDisplay()) GTEST_SKIP() << "windows need a display";
    window = OpenStatusWindow();
    ASSERT_NE(window, nullptr);
  }
  void TearDown() override {
    if (window) DestroyWindow(window);
  }

  std::string Text(HWND of) {
    char text[512];
    GetWindowTextA(of, text, sizeof text);
    return text;
  }

  HWND window = nullptr;
};

// The window opens visible, unowned, with a taskbar button, no close
// button, the template's caption and "Preparing...".
TEST_F(StatusWindowTest, OpensFromItsTemplate) {
  EXPECT_TRUE(IsWindowVisible(window));
  EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr);
  LONG style = GetWindowLongA(window, GWL_STYLE);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_EQ(style & WS_SYSMENU, 0);
  EXPECT_EQ(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_APPWINDOW, WS_EX_APPWINDOW);
  EXPECT_EQ(Text(window), "Setup");
  HWND line = GetDlgItem(window, IDC_STATUS_TEXT);
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(Text(line), "Preparing...");
}

// Without an owner the window sits centred on the work area.
TEST_F(StatusWindowTest, CentredOnWorkArea) {
  RECT work;
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
  RECT frame;
  ASSERT_TRUE(GetWindowRect(window, &frame));
  int width = frame.right - frame.left;
  int height = frame.bottom - frame.top;
  EXPECT_EQ(frame.left, (work.left + work.right) / 2 - width / 2);
  EXPECT_EQ(frame.top, (work.top + work.bottom) / 2 - height / 2);
}

// The line of text can be replaced, also by a long text, and the caption set.
TEST_F(StatusWindowTest, TextAndCaptionChange) {
  std::string longText(300, 'x');
  const char* texts[] = {"Extracting the main application files...", "", longText.c_str()};
  for (const char* text : texts) {
    EXPECT_TRUE(SetStatusText(window, text));
    EXPECT_EQ(Text(GetDlgItem(window, IDC_STATUS_TEXT)), text);
  }
  ASSERT_TRUE(SetWindowTextA(window, "Korvelt Setup"));
  EXPECT_EQ(Text(window), "Korvelt Setup");
}

// A window without the text line refuses the text instead of failing silently.
TEST_F(StatusWindowTest, SetTextOnOtherWindowFails) {
  HWND other = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(other, nullptr);
  EXPECT_FALSE(SetStatusText(other, "text"));
  DestroyWindow(other);
}

}  // namespace
}  // namespace korvelt
