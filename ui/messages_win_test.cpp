#include "ui/messages_win.h"

#include <gtest/gtest.h>

#include "resources/resource_ids.h"
#include "testing/win32/ui_helpers.h"

namespace korvelt {
namespace {

using testing::HaveDisplay;
using testing::MessageBoxWatcher;
using testing::SeenMessageBox;

class MessagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveDisplay()) GTEST_SKIP() << "message boxes need a display";
  }
};

// Texts and captions may each be a table identifier or a ready text; the
// box's answer is passed back.
TEST_F(MessagesTest, StringMessageResolvesIdentifiersAndTexts) {
  const struct {
    const char* name;
    const char* text;
    const char* caption;
    const char* expectedText;
    const char* expectedCaption;
  } cases[] = {
      {"both identifiers", MAKEINTRESOURCEA(IDS_DOWNLOAD_ABORTED), MAKEINTRESOURCEA(IDS_ERROR_CAPTION),
       "Download aborted.", "Error"},
      {"identifier and ready caption", MAKEINTRESOURCEA(IDS_DOWNLOAD_NOT_STARTED), "Korvelt Setup",
       "Download failed to start.", "Korvelt Setup"},
      {"ready text and identifier caption", "A ready text", MAKEINTRESOURCEA(IDS_SETUP), "A ready text", "Setup"},
      {"both ready", "Text", "Caption", "Text", "Caption"},
  };
  for (const auto& c : cases) {
    MessageBoxWatcher watcher(GetCurrentThreadId());
    EXPECT_EQ(ShowStringMessage(nullptr, c.text, c.caption, MB_OKCANCEL | MB_ICONERROR), IDOK) << c.name;
    const SeenMessageBox& seen = watcher.Finish();
    ASSERT_TRUE(seen.found) << c.name;
    EXPECT_EQ(seen.text, c.expectedText) << c.name;
    EXPECT_EQ(seen.caption, c.expectedCaption) << c.name;
    EXPECT_TRUE(seen.cancelButton) << c.name << ": the style is passed on";
  }
}

// The box belongs to the owner window it is given.
TEST_F(MessagesTest, StringMessageKeepsItsOwner) {
  HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 10, 10, 100, 100, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(owner, nullptr);
  MessageBoxWatcher watcher(GetCurrentThreadId());
  ShowStringMessage(owner, MAKEINTRESOURCEA(IDS_DOWNLOAD_FAILED), MAKEINTRESOURCEA(IDS_ERROR_CAPTION), MB_OK);
  const SeenMessageBox& seen = watcher.Finish();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.owner, owner);
  EXPECT_EQ(seen.text, "The download failed. Verify you are conected to the INTERNET and try again.");
  DestroyWindow(owner);
}

}  // namespace
}  // namespace korvelt
