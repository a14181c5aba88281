#include "prereq/profile_text.h"

#include <gtest/gtest.h>

#include <string>

#include "testing/fake_files.h"

namespace korvelt {
namespace {

struct Lookup {
  const char* text;
  const char* section;
  const char* key;
  const char* expected;  // nullptr: the fallback comes back
};

std::string Read(const std::string& text, const char* section, const char* key, uint32_t size = 260,
                 uint32_t* copied = nullptr) {
  std::string buffer(size, '\x7f');
  uint32_t count = ReadProfileText(reinterpret_cast<const unsigned char*>(text.data()), text.size(), section, key,
                                   "NOT FOUND", buffer.data(), size);
  if (copied) *copied = count;
  EXPECT_EQ(buffer[count], '\0');
  return std::string(buffer.c_str());
}

class ProfileTextTest : public ::testing::TestWithParam<Lookup> {};

// Each file text gives the value the system's reader gives for the key.
TEST_P(ProfileTextTest, FindsTheValueTheSystemFinds) {
  const Lookup& lookup = GetParam();
  uint32_t copied = 0;
  std::string value = Read(lookup.text, lookup.section, lookup.key, 260, &copied);
  EXPECT_EQ(value, lookup.expected ? lookup.expected : "NOT FOUND");
  EXPECT_EQ(copied, value.size());
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ProfileTextTest,
    ::testing::Values(
        Lookup{"[S]\nk=v\n", "S", "k", "v"},
        Lookup{"[S]\r\nk=v\r\n", "S", "k", "v"},
        Lookup{"[S]\rk=v\r", "S", "k", "v"},                      // old line ends
        Lookup{"[s]\nKEY=v\n", "S", "key", "v"},                   // names without regard to case
        Lookup{"  [S]  \n  k   =   v  w   \n", "S", "k", "v  w"},  // blanks around, not inside
        Lookup{"[S]\nk=\"quoted value\"\n", "S", "k", "quoted value"},
        Lookup{"[S]\nk='single'\n", "S", "k", "single"},
        Lookup{"[S]\nk=\"half\n", "S", "k", "\"half"},
        Lookup{"[S]\nk=\"mixed'\n", "S", "k", "\"mixed'"},
        Lookup{"[S]\nk=\"\"\n", "S", "k", ""},
        Lookup{"[S]\nk=\"\n", "S", "k", "\""},
        Lookup{"[S]\nk=  \" inner \"  \n", "S", "k", " inner "},
        Lookup{"[S]\nk=\n", "S", "k", ""},                         // empty value is present
        Lookup{"[S]\nk\n", "S", "k", nullptr},                     // no "=": no value
        Lookup{"[S]\nk\nk=later\n", "S", "k", nullptr},            // the first key of the name decides
        Lookup{"[S]\nk=first\nk=second\n", "S", "k", "first"},
        Lookup{"[S]\nk=one\n[S]\nk=two\nj=x\n", "S", "j", nullptr},  // only the first section counts
        Lookup{"[S]\n;k=commented\n", "S", "k", nullptr},
        Lookup{"[S]\n;k=commented\n", "S", ";k", "commented"},
        Lookup{"[T]\nk=v\n", "S", "k", nullptr},
        Lookup{"k=v\n[S]\n", "S", "k", nullptr},                   // not in the section
        Lookup{"[S\nk=v\n", "S", "k", nullptr},                    // no "]": not a header
        Lookup{"[S]trailing\nk=v\n", "S", "k", "v"},
        Lookup{"[a]b]\nk=v\n", "a]b", "k", "v"},
        Lookup{"[ S ]\nk=v\n", "S", "k", "v"},                     // the header's name trimmed
        Lookup{"[S]\rk=v\r[T]\nk=t\n", "T", "k", "t"},
        Lookup{"k=orphan\n[S]\n", "", "k", "orphan"},              // before any header
        Lookup{"k=orphan\n[]\nk=late\n", "", "k", "orphan"},
        Lookup{"[S]\nk=a=b\n", "S", "k", "a=b"},
        Lookup{"[S]\n\n\n  \nk=v", "S", "k", "v"},                 // no final line end
        Lookup{"[S]\nk\t=\tv\t\n", "S", "k", "v"},
        Lookup{"[S]\nk=v\x1a\n", "S", "k", "v"},                   // DOS end-of-file mark is a blank
        Lookup{"[S]\nk=NOT FOUND\n", "S", "k", nullptr},
        Lookup{"", "S", "k", nullptr}));

// A value longer than the buffer is cut to size - 1 and the count says so.
TEST(ProfileTextCut, LongValuesAreCutToTheBuffer) {
  for (size_t length : {257u, 258u, 259u, 260u, 300u}) {
    SCOPED_TRACE(length);
    std::string value(length, 'x');
    uint32_t copied = 0;
    std::string read = Read("[S]\nk=" + value + "\n", "S", "k", 260, &copied);
    EXPECT_EQ(copied, std::min<size_t>(length, 259));
    EXPECT_EQ(read, value.substr(0, 259));
  }
}

// A quoted value loses its quotes; one that just fails to fit loses one
// more character, as the system's reader does.
TEST(ProfileTextCut, QuotedValuesAtTheBufferEdge) {
  for (auto [length, kept] : {std::pair{257u, 257u}, {258u, 258u}, {259u, 258u}, {260u, 259u}, {300u, 259u}}) {
    uint32_t copied = 0;
    std::string read = Read("[S]\nk=\"" + std::string(length, 'q') + "\"\n", "S", "k", 260, &copied);
    EXPECT_EQ(copied, kept) << length;
    EXPECT_EQ(read, std::string(kept, 'q')) << length;
  }
  uint32_t copied = 0;
  EXPECT_EQ(Read("[S]\nk=\"ab\"\n", "S", "k", 3, &copied), "a");
  EXPECT_EQ(Read("[S]\nk=\"ab\"\n", "S", "k", 4, &copied), "ab");
}

// The fallback is cut like a value, and loses its trailing blanks.
TEST(ProfileTextCut, FallbackIsCutAndTrimmed) {
  char buffer[5];
  EXPECT_EQ(ReadProfileText(nullptr, 0, "S", "k", "NOT FOUND", buffer, 5), 4u);
  EXPECT_STREQ(buffer, "NOT ");
  EXPECT_EQ(ReadProfileText(nullptr, 0, "S", "k", "ab  ", buffer, 5), 2u);
  EXPECT_STREQ(buffer, "ab");
}

// The file reader reads through the file service and closes what it opens.
TEST(FileProfileReaderTest, ReadsFilesAndMissingFiles) {
  testing::FakeFileSystem files;
  std::string text = "\xEF\xBB\xBF[GeneralOptions]\nOptions=q\n";
  files.files["C:\\a.ini"] = testing::Bytes(text.begin(), text.end());
  FileProfileReader reader(files);
  char buffer[260];
  EXPECT_EQ(reader.ReadString("C:\\a.ini", "GeneralOptions", "Options", "NOT FOUND", buffer, 260), 1u);
  EXPECT_STREQ(buffer, "q");
  EXPECT_EQ(reader.ReadString("C:\\missing.ini", "GeneralOptions", "Options", "NOT FOUND", buffer, 260), 9u);
  EXPECT_STREQ(buffer, "NOT FOUND");
  EXPECT_EQ(files.openHandles(), 0);
}

// A UTF-16 file reads as its ASCII characters.
TEST(FileProfileReaderTest, ReadsUtf16Files) {
  testing::FakeFileSystem files;
  std::string narrow = "[S]\r\nk=v\xe9w\r\n";
  testing::Bytes wide = {0xFF, 0xFE};
  for (unsigned char c : narrow) {
    wide.push_back(c);
    wide.push_back(0);
  }
  files.files["C:\\w.ini"] = wide;
  FileProfileReader reader(files);
  char buffer[260];
  reader.ReadString("C:\\w.ini", "S", "k", "NOT FOUND", buffer, 260);
  EXPECT_STREQ(buffer, "v?w");
}

}  // namespace
}  // namespace korvelt
