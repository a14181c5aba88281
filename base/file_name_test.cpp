#include "base/file_name.h"

#include <gtest/gtest.h>
#include <string.h>

namespace korvelt {
namespace {

// A plain name is stored by Windows as written, as one file of the
// extraction folder: no folder part, no device, nothing Windows drops or
// refuses.
TEST(PlainFileNameTest, NameRule) {
  struct Case {
    const char* name;
    bool plain;
  } cases[] = {
      {"a", true},
      {"setup.msi", true},
      {".hidden", true},
      {"na me.cab", true},
      {"\xe9t\xe9.msi", true},
      {"a.b.c", true},
      {"console.msi", true},
      {"conx", true},
      {"com10.txt", true},
      {"lpt.txt", true},
      {"xcon", true},
      {" con", true},
      {"nul_.txt", true},
      {"", false},
      {".", false},
      {"..", false},
      {"...", false},
      {"a.", false},
      {"a ", false},
      {"setup.msi.", false},
      {"..\\evil.dll", false},
      {"sub\\a.msi", false},
      {"a/b.msi", false},
      {"C:a.msi", false},
      {"a\tb", false},
      {"a\x01.msi", false},
      {"a\x7f", false},
      {"a<b", false},
      {"a>b", false},
      {"a\"b", false},
      {"a|b", false},
      {"a?b", false},
      {"a*.msi", false},
      {"CON", false},
      {"con", false},
      {"con.txt", false},
      {"Con.tar.gz", false},
      {"con .txt", false},
      {"PRN", false},
      {"aux.msi", false},
      {"NuL", false},
      {"COM1", false},
      {"com9.exe", false},
      {"COM0", false},
      {"com\xb9", false},
      {"Lpt1.msi", false},
      {"LPT9", false},
      {"conin$", false},
      {"CONOUT$.txt", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsPlainFileName(c.name, static_cast<uint32_t>(strlen(c.name))), c.plain) << "name: " << c.name;
  }
  EXPECT_FALSE(IsPlainFileName("a\0b", 3)) << "an embedded zero byte";
}

// Names one folder takes for the same file compare equal: ASCII letters in
// any case; other bytes, and a double-byte character's trail byte, as
// they are.
TEST(CompareFileNamesTest, AsAFolderThatIgnoresCase) {
  auto lead = [](unsigned char byte) { return byte >= 0x81 && byte <= 0x9F; };
  struct Case {
    const char* a;
    const char* b;
    LeadByteTest isLead;
    int order;
  } cases[] = {
      {"Setup.EXE", "setup.exe", NoLeadBytes, 0},
      {"setup.exe", "setup.ex", NoLeadBytes, 1},
      {"a.exe", "b.exe", NoLeadBytes, -1},
      {"\xC4.exe", "\xE4.exe", NoLeadBytes, -1},  // the case of other letters depends on the code page
      {"\x81" "A", "\x81" "a", lead, -1},                // a trail byte is not a letter
      {"\x81" "A", "\x81" "a", NoLeadBytes, 0},
  };
  for (const Case& c : cases) {
    int order = CompareFileNames(c.a, c.b, c.isLead);
    EXPECT_EQ(order < 0 ? -1 : order > 0 ? 1 : 0, c.order) << c.a << " against " << c.b;
  }
}

}  // namespace
}  // namespace korvelt
