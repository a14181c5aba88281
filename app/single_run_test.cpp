#include "app/single_run.h"

#include <gtest/gtest.h>

#include <string>

namespace korvelt {
namespace {

std::string NameOf(const char* path, LeadByteTest isLead = NoLeadBytes) {
  char name[kSingleRunNameSize];
  SingleRunName(path, isLead, name);
  return name;
}

// One setup under any case of its path has one name; another file, or the
// same name in another folder, has another; a trail byte is not a letter.
TEST(SingleRunNameTest, OnePathOneName) {
  auto lead = [](unsigned char byte) { return byte >= 0x81 && byte <= 0x9F; };
  const std::string name = NameOf("C:\\Users\\Ann\\Downloads\\Setup.exe");
  EXPECT_EQ(name.rfind("Local\\Korvelt.Setup.", 0), 0u) << name;
  EXPECT_EQ(name.size(), 20u + 16u);
  EXPECT_EQ(name.find('\\', 6), std::string::npos) << "a backslash past the namespace would name a folder";
  EXPECT_EQ(NameOf("c:\\users\\ann\\downloads\\SETUP.EXE"), name);
  EXPECT_NE(NameOf("C:\\Users\\Ann\\Desktop\\Setup.exe"), name);
  EXPECT_NE(NameOf("C:\\Users\\Ann\\Downloads\\Setup2.exe"), name);
  EXPECT_NE(NameOf(""), name);
  EXPECT_NE(NameOf("C:\\\x81" "A\\s.exe", lead), NameOf("C:\\\x81" "a\\s.exe", lead));
  EXPECT_EQ(NameOf("C:\\\x81" "A\\s.exe"), NameOf("C:\\\x81" "a\\s.exe"));
}

}  // namespace
}  // namespace korvelt
