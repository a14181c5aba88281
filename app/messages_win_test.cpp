#include "app/messages_win.h"

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

// Each payload failure shows its own text once, unowned, with the system's
// caption and an OK button only; the call answers 0 after the box closed.
TEST_F(MessagesTest, PayloadErrorTexts) {
  const struct {
    PayloadError code;
    const char* text;
  } cases[] = {
      {PayloadError::Io, "An error occured while reading the file."},
      {PayloadError::NoMemory, "An error ocured while extracting."},
      {PayloadError::NoPath, "An error ocured while extracting."},
      {PayloadError::Corrupt, "This archive is corupted."},
      {PayloadError::BadVersion, "This archive has an an unsuported version."},
      {static_cast<PayloadError>(1), "An error ocured while extracting."},
      {static_cast<PayloadError>(77), "An error ocured while extracting."},
  };
  // What the system puts on a box that names no caption of its own.
  MessageBoxWatcher reference(GetCurrentThreadId());
  MessageBoxA(nullptr, "reference", nullptr, MB_OK);
  const std::string systemCaption = reference.Finish().caption;
  ASSERT_FALSE(systemCaption.empty());

  for (const auto& c : cases) {
    MessageBoxWatcher watcher(GetCurrentThreadId());
    EXPECT_EQ(ShowPayloadError(c.code), 0) << static_cast<int>(c.code);
    const SeenMessageBox& seen = watcher.Finish();
    ASSERT_TRUE(seen.found) << static_cast<int>(c.code);
    EXPECT_EQ(seen.text, c.text) << static_cast<int>(c.code);
    EXPECT_EQ(seen.caption, systemCaption);
    EXPECT_EQ(seen.owner, nullptr);
    EXPECT_TRUE(seen.okButton);
    EXPECT_FALSE(seen.cancelButton);
  }
}

// Success shows nothing and answers 1.
TEST_F(MessagesTest, PayloadOkShowsNothing) {
  MessageBoxWatcher watcher(GetCurrentThreadId(), std::string(), std::string(), 1000);
  EXPECT_EQ(ShowPayloadError(PayloadError::Ok), 1);
  EXPECT_FALSE(watcher.Finish().found);
}

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
