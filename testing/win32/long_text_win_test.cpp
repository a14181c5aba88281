// Strings longer than the loader's first 256-byte buffer, from this test
// program's own string table.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "ui/messages_win.h"
#include "testing/win32/ui_helpers.h"

namespace korvelt {
namespace {

std::string Digits(size_t length) {
  std::string text;
  while (text.size() < length) text += "0123456789";
  return text.substr(0, length);
}

const struct {
  UINT id;
  size_t length;
} kLongTexts[] = {{60001, 254}, {60002, 255}, {60003, 256}, {60004, 511}, {60005, 512}, {60006, 1500}};

// Around each doubling of the buffer the text loads whole, never cut.
TEST(LongTextTest, LoadsWholeAroundBufferSizes) {
  for (const auto& t : kLongTexts) {
    String text;
    ASSERT_TRUE(LoadResourceText(GetModuleHandleA(nullptr), t.id, &text)) << t.length;
    EXPECT_EQ(text.Length(), t.length);
    EXPECT_EQ(std::string(text.c_str()), Digits(t.length));
  }
}

// A message box shows a 1500-character table text whole, as text and as caption.
TEST(LongTextTest, MessageShowsLongTextWhole) {
  if (!testing::HaveDisplay()) GTEST_SKIP() << "message boxes need a display";
  testing::MessageBoxWatcher watcher(GetCurrentThreadId());
  EXPECT_EQ(ShowStringMessage(nullptr, MAKEINTRESOURCEA(60006), MAKEINTRESOURCEA(60002), MB_OK), IDOK);
  const testing::SeenMessageBox& seen = watcher.Finish();
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.text, Digits(1500));
  EXPECT_EQ(seen.caption, Digits(255));
}

}  // namespace
}  // namespace korvelt
