#include "app/command_line.h"

#include <gtest/gtest.h>

#include "testing/code_page.h"

namespace korvelt {
namespace {

using testing::CodePage932Lead;

// The tail starts behind the program name and the blanks behind it.
TEST(CommandTailTest, CutsTheProgramName) {
  struct Case {
    const char* line;
    const char* tail;
  } cases[] = {
      {"", ""},
      {"setup.exe", ""},
      {"setup.exe /qn", "/qn"},
      {"setup.exe\t \x01 /qn  x", "/qn  x"},
      {"\"C:\\My Files\\setup.exe\"  /extract:out", "/extract:out"},
      {"\"C:\\My Files\\setup.exe\"/qn", "/qn"},
      {"\"unclosed quote /qn", ""},
      {"\"\" tail", "tail"},
      {"C:\\Program\xa0" "Files\\setup.exe \xe9t\xe9", "\xe9t\xe9"},  // bytes from 128 up are not blanks
      {"setup.exe \xa0x", "\xa0x"},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(CutCommandTail(c.line, NoLeadBytes), c.tail) << "line: " << c.line;
  }
}

// A double-byte character whose second byte is a quote does not end a
// quoted program name.
TEST(CommandTailTest, StepsWholeDoubleByteCharacters) {
  const char line[] = "\"C:\\\x83\x22x.exe\" /qn";
  EXPECT_STREQ(CutCommandTail(line, CodePage932Lead), "/qn");
  EXPECT_STREQ(CutCommandTail(line, NoLeadBytes), "x.exe\" /qn") << "a single-byte code page ends at that quote";
  // A lead byte before the terminator is one character.
  EXPECT_STREQ(CutCommandTail("\"abc\x83", CodePage932Lead), "");
}

struct FolderCase {
  const char* tail;
  const char* folder;
};

// Every rule of the extract switch, case by case.
TEST(ExtractFolderTest, FindsTheFolder) {
  FolderCase cases[] = {
      {"", ""},
      {"/qn", ""},
      {"/extract:out", "out\\"},
      {"/extract:C:\\out\\", "C:\\out\\"},
      {"/extract:\"C:\\My Folder\" /qn", "C:\\My Folder\\"},
      {"/extract:\"C:\\My Folder", "C:\\My Folder\\"},
      {"/extract:out more args", "out\\"},
      {"/extract:out\tmore", "out\tmore\\"},  // a tab does not end the value
      {"/extract:x", ""},                     // fewer than two characters
      {"/extract:", ""},
      {"/extract:\"\"", ""},
      {"/extract:\"\" more", ""},
      {"/EXTRACT:out", ""},
      {"xx/extract:inside", "inside\\"},  // found inside another word
      {"/extract:a /extract:b", "a\\"},
      {"/extract: out", ""},  // the value is empty before the space
      {"/extract:ab", "ab\\"},
  };
  for (const FolderCase& c : cases) {
    String folder;
    ASSERT_TRUE(ParseExtractFolder(c.tail, NoLeadBytes, &folder));
    EXPECT_STREQ(folder.c_str(), c.folder) << "tail: " << c.tail;
  }
}

// The switch is found only on character boundaries.
TEST(ExtractFolderTest, SearchStepsWholeCharacters) {
  String folder;
  // 0x81 followed by '/' is one character; the switch starts inside it.
  ASSERT_TRUE(ParseExtractFolder("\x81/extract:out", CodePage932Lead, &folder));
  EXPECT_STREQ(folder.c_str(), "");
  ASSERT_TRUE(ParseExtractFolder("\x81/extract:out", NoLeadBytes, &folder));
  EXPECT_STREQ(folder.c_str(), "out\\");
  // A trail byte that looks like a quote does not close a quoted folder.
  ASSERT_TRUE(ParseExtractFolder("/extract:\"\x83\x22x\" y", CodePage932Lead, &folder));
  EXPECT_STREQ(folder.c_str(), "\x83\x22x\\");
}

// A folder whose last character's trail byte is 0x5C ("\x95\x5C") still
// gets a backslash of its own; one that ends in a real backslash does not.
TEST(ExtractFolderTest, TrailingBackslashIsAWholeCharacter) {
  struct Case {
    const char* tail;
    LeadByteTest isLead;
    const char* folder;
  } cases[] = {
      {"/extract:C:\\\x95\x5C", CodePage932Lead, "C:\\\x95\x5C\\"},
      {"/extract:\"C:\\\x95\x5C\"", CodePage932Lead, "C:\\\x95\x5C\\"},
      {"/extract:C:\\\x95\x5C\\", CodePage932Lead, "C:\\\x95\x5C\\"},
      {"/extract:C:\\\x95\x5C", NoLeadBytes, "C:\\\x95\x5C"},
  };
  for (const auto& c : cases) {
    String folder;
    ASSERT_TRUE(ParseExtractFolder(c.tail, c.isLead, &folder));
    EXPECT_STREQ(folder.c_str(), c.folder) << "tail: " << c.tail;
  }
}

// The layout switch counts only at the start of the tail; its folder is
// read by the extract folder's rules, and what follows it is not used.
TEST(LayoutFolderTest, FindsTheFolderAtTheStartOnly) {
  FolderCase cases[] = {
      {"", ""},
      {"/qn", ""},
      {"/layout:out", "out\\"},
      {"/layout:C:\\Layouts\\2.1\\", "C:\\Layouts\\2.1\\"},
      {"/layout:\"C:\\My Layouts\\2.1\" /qn", "C:\\My Layouts\\2.1\\"},
      {"/layout:\"C:\\My Layouts", "C:\\My Layouts\\"},
      {"/layout:out /extract:other", "out\\"},
      {"/layout:out\tmore", "out\tmore\\"},
      {"/layout:x", ""},  // fewer than two characters
      {"/layout:", ""},
      {"/layout:\"\"", ""},
      {"/layout: out", ""},
      {"/LAYOUT:out", ""},
      {" /layout:out", ""},
      {"/qn /layout:out", ""},  // not at the start: the package's
      {"xx/layout:inside", ""},
      {"/layout", ""},
      {"/layou", ""},
  };
  for (const FolderCase& c : cases) {
    String folder;
    ASSERT_TRUE(ParseLayoutFolder(c.tail, NoLeadBytes, &folder));
    EXPECT_STREQ(folder.c_str(), c.folder) << "tail: " << c.tail;
  }
  // Whole characters, as for the extract folder.
  String folder;
  ASSERT_TRUE(ParseLayoutFolder("/layout:\"\x83\x22x\" y", CodePage932Lead, &folder));
  EXPECT_STREQ(folder.c_str(), "\x83\x22x\\");
  ASSERT_TRUE(ParseLayoutFolder("/layout:C:\\\x95\x5C", CodePage932Lead, &folder));
  EXPECT_STREQ(folder.c_str(), "C:\\\x95\x5C\\");
}

}  // namespace
}  // namespace korvelt
