#include "download/download_failure_win.h"

#include <gtest/gtest.h>

#include <string>

#include "testing/win32/ui_helpers.h"

namespace korvelt {
namespace {

// Each failure code shows its string-table text in an error box owned by
// the given window, with the caption "Error" and an OK button.
TEST(ReportDownloadFailureTest, ShowsTheCodesText) {
  if (!testing::HaveDisplay()) GTEST_SKIP() << "windows need a display";
  HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 10, 10, 100, 50, nullptr, nullptr,
                               nullptr, nullptr);
  ASSERT_NE(owner, nullptr);
  const struct {
    int32_t code;
    const char* text;
  } cases[] = {
      {1, "Download failed to start."},
      {4, "Download aborted."},
      {5, "The download failed. Verify you are conected to the INTERNET and try again."},
  };
  for (const auto& c : cases) {
    testing::MessageBoxWatcher watcher(GetCurrentThreadId());
    ReportDownloadFailure(c.code, owner);
    const testing::SeenMessageBox& seen = watcher.Finish();
    ASSERT_TRUE(seen.found) << c.code;
    EXPECT_EQ(seen.text, c.text);
    EXPECT_EQ(seen.caption, "Error");
    EXPECT_EQ(seen.owner, owner);
    EXPECT_TRUE(seen.okButton);
    EXPECT_FALSE(seen.cancelButton);
  }
  DestroyWindow(owner);
}

}  // namespace
}  // namespace korvelt
