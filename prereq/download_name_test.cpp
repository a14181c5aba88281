#include "prereq/download_name.h"

#include <gtest/gtest.h>

namespace korvelt {
namespace {

// The file name of a URL, stepping whole characters: a trail byte that
// looks like a backslash separates nothing; the query and the fragment are
// no part of it.
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
      {"http://host/setup.exe?token=abc", NoLeadBytes, "setup.exe"},
      {"http://host/setup.exe#part", NoLeadBytes, "setup.exe"},
      {"http://host/fwlink/?linkid=2088631", NoLeadBytes, ""},
      {"http://host/a.exe?next=/b/c.exe", NoLeadBytes, "a.exe"},  // a slash in the query separates nothing
      {"http://host/dir/", NoLeadBytes, ""},
  };
  for (const Case& c : cases) {
    size_t length = 0;
    const char* name = UrlFileName(c.url, c.isLead, &length);
    EXPECT_EQ(std::string(name, length), c.name) << c.url;
  }
}

// The local file: the author's FileName before the URL's, in the folder
// with one backslash between; none for a name Windows would not store as
// written.
TEST(LocalDownloadPathTest, FolderAndName) {
  auto lead = [](unsigned char byte) { return byte >= 0x81 && byte <= 0x9F; };
  struct Case {
    const char* folder;
    const char* url;
    const char* fileName;
    LeadByteTest isLead;
    const char* path;  // nullptr: no path
  } cases[] = {
      {"C:\\dl", "http://h/a.exe", "", NoLeadBytes, "C:\\dl\\a.exe"},
      {"C:\\dl\\", "a.exe", "", NoLeadBytes, "C:\\dl\\a.exe"},
      {"C:\\\x81\\", "http://h/a.exe", "", lead, "C:\\\x81\\\\a.exe"},
      {"C:\\dl\\", "http://h/fwlink/?linkid=1", "vc_redist.x86.exe", NoLeadBytes, "C:\\dl\\vc_redist.x86.exe"},
      {"C:\\dl\\", "http://h/a.exe?t=1", "", NoLeadBytes, "C:\\dl\\a.exe"},
      {"C:\\dl\\", "http://h/fwlink/?linkid=1", "", NoLeadBytes, nullptr},
      {"C:\\dl\\", "http://h/dir/", "", NoLeadBytes, nullptr},
      {"C:\\dl\\", "http://h/con.exe", "", NoLeadBytes, nullptr},
      {"C:\\dl\\", "http://h/setup.exe.", "", NoLeadBytes, nullptr},
      {"C:\\dl\\", "http://h/a.exe", "..\\a.exe", NoLeadBytes, nullptr},
      {"C:\\dl\\", "http://h/a.exe", "a|b.exe", NoLeadBytes, nullptr},
      {"C:\\dl\\", "http://h/a:b.exe", "", NoLeadBytes, nullptr},
  };
  for (const Case& c : cases) {
    String path;
    bool formed = LocalDownloadPath(c.folder, c.url, c.fileName, c.isLead, &path);
    EXPECT_EQ(formed, c.path != nullptr) << c.url << " " << c.fileName;
    if (formed && c.path) {
      EXPECT_STREQ(path.c_str(), c.path) << c.url;
    }
  }
}

}  // namespace
}  // namespace korvelt
