#include "base/chars.h"

#include <gtest/gtest.h>
#include <string.h>

#include "testing/code_page.h"

namespace korvelt {
namespace {

using testing::CodePage932Lead;

// "\x95\x5C" is one character in code page 932 whose trail byte is a
// backslash; in a single-byte code page it is two, the second a backslash.
#define KANJI_5C "\x95\x5C"

// The last separator and the trailing backslash, by whole characters.
TEST(CharsTest, SeparatorsStepWholeCharacters) {
  struct Case {
    const char* text;
    LeadByteTest isLead;
    size_t lastSeparator;
    bool endsWithBackslash;
  } cases[] = {
      {"", NoLeadBytes, kNoPosition, false},
      {"C:", NoLeadBytes, kNoPosition, false},
      {"C:\\", NoLeadBytes, 2, true},
      {"C:\\a\\b", NoLeadBytes, 4, false},
      {"C:\\" KANJI_5C, CodePage932Lead, 2, false},
      {"C:\\" KANJI_5C, NoLeadBytes, 4, true},
      {"C:\\" KANJI_5C "\\", CodePage932Lead, 5, true},
      {"C:\\" KANJI_5C "\\x.exe", CodePage932Lead, 5, false},
      {"C:\\" KANJI_5C ".exe", CodePage932Lead, 2, false},
      {"C:\\\x95", CodePage932Lead, 2, false},  // a lead byte before the end is one character
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(FindLastCharacter(c.text, '\\', c.isLead), c.lastSeparator);
    EXPECT_EQ(EndsWithBackslash(c.text, strlen(c.text), c.isLead), c.endsWithBackslash);
  }
}

// Dropping the last characters never leaves half a character behind.
TEST(CharsTest, LengthWithoutLastCharacters) {
  struct Case {
    const char* text;
    size_t count;
    LeadByteTest isLead;
    size_t length;
  } cases[] = {
      {"setup.msi", 4, NoLeadBytes, 5},
      {".msi", 4, NoLeadBytes, 0},
      {"msi", 4, NoLeadBytes, 0},
      {"", 0, NoLeadBytes, 0},
      {"abc", 0, NoLeadBytes, 3},
      {KANJI_5C ".msi", 4, CodePage932Lead, 2},
      {KANJI_5C "abc", 4, CodePage932Lead, 0},
      {KANJI_5C "abc", 4, NoLeadBytes, 1},
      {"a" KANJI_5C KANJI_5C "x", 3, CodePage932Lead, 1},
      {"ab" KANJI_5C, 1, CodePage932Lead, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.text << " less " << c.count);
    EXPECT_EQ(LengthWithoutLast(c.text, c.count, c.isLead), c.length);
  }
}

// Searches from a boundary find only characters, never trail bytes.
TEST(CharsTest, FindCharacterSkipsTrailBytes) {
  const char text[] = KANJI_5C "\\" KANJI_5C;
  EXPECT_EQ(FindCharacter(text, 0, '\\', CodePage932Lead), 2u);
  EXPECT_EQ(FindCharacter(text, 0, '\\', NoLeadBytes), 1u);
  EXPECT_EQ(FindCharacter(text, 3, '\\', CodePage932Lead), kNoPosition);
}

}  // namespace
}  // namespace korvelt
