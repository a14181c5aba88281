#include "app/payload_message_win.h"

#include <gtest/gtest.h>

#include "testing/win32/ui_helpers.h"

namespace korvelt {
namespace {

using testing::HaveDisplay;
using testing::MessageBoxWatcher;
using testing::SeenMessageBox;

class PayloadMessageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveDisplay()) GTEST_SKIP() << "message boxes need a display";
  }
};

// Each payload failure shows its own text once, unowned, with the system's
// caption and an OK button only; the call answers 0 after the box closed.
TEST_F(PayloadMessageTest, PayloadErrorTexts) {
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
TEST_F(PayloadMessageTest, PayloadOkShowsNothing) {
  MessageBoxWatcher watcher(GetCurrentThreadId(), std::string(), std::string(), 1000);
  EXPECT_EQ(ShowPayloadError(PayloadError::Ok), 1);
  EXPECT_FALSE(watcher.Finish().found);
}

}  // namespace
}  // namespace korvelt
