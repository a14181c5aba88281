#include "prereq/download_name.h"

#include <gtest/gtest.h>

namespace korvelt {
namespace {

// The file name of a URL, stepping whole characters: a trail byte that
// looks like a backslash separates nothing.
TEST(UrlFileNameTest, TextBehindTheLastSeparator) {
  auto lead = [](unsigned char byte) { return byte >= 0x81 && byte <= 0x9F; };
  struct Case {
    const char* url;
    LeadByteTest isLead;
    const char* name;
  } cases[] = {
      {"http://host/a/b/setup.exe", NoLeadBytes, "setup.exe"},
      {"http://host\\dir\\setup.exe", NoLeadBytes, "setup.exe"},
      {"http://host/dir\\x/y.exe", NoLeadBytes, "y.exe"},
      {"setup.exe", NoLeadBytes, "setup.exe"},  // neither: the whole text
      {"http://host/", NoLeadBytes, ""},
      {"", NoLeadBytes, ""},
      {"http://host/\x81\\.exe", lead, "\x81\\.exe"},
      {"http://host/\x81\\.exe", NoLeadBytes, ".exe"},
  };
  for (const Case& c : cases) EXPECT_STREQ(UrlFileName(c.url, c.isLead), c.name) << c.url;

  String path;
  ASSERT_TRUE(LocalDownloadPath("C:\\dl", "http://h/a.exe", NoLeadBytes, &path));
  EXPECT_STREQ(path.c_str(), "C:\\dl\\a.exe");
  ASSERT_TRUE(LocalDownloadPath("C:\\dl\\", "a.exe", NoLeadBytes, &path));
  EXPECT_STREQ(path.c_str(), "C:\\dl\\a.exe");
  ASSERT_TRUE(LocalDownloadPath("C:\\\x81\\", "http://h/a.exe", lead, &path));
  EXPECT_STREQ(path.c_str(), "C:\\\x81\\\\a.exe");
}

}  // namespace
}  // namespace korvelt
