// Our own profile reader against the system's GetPrivateProfileStringA,
// over files written to make the two disagree if they can.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "platform/files_win.h"
#include "platform/profile_win.h"
#include "platform/system_files.h"
#include "prereq/profile_text.h"
#include "testing/win32/scratch_folder.h"

namespace korvelt {
namespace {

struct CorpusFile {
  const char* name;
  std::string text;
};

std::string Long(size_t length, char c) { return std::string(length, c); }

std::vector<CorpusFile> Corpus() {
  return {
      {"plain", "[S]\r\nk=v\r\nkey=value\r\n[T]\r\nk=t\r\n"},
      {"blanks", "  [S]  \r\n  k   =   v  w   \r\n\tkey\t=\tvalue\t\r\n k = \r\n"},
      {"quotes",
       "[S]\r\nk=\"quoted value\"\r\nkey='single'\r\nj=\"half\r\nj2=half\"\r\nm=\"mixed'\r\ne=\"\"\r\nq=\"\r\n"
       "i=  \" inner \"  \r\nn=\"a\"b\"\r\nsq=''\r\n"},
      {"comments", "; leading comment\r\n[S]\r\n;k=commented\r\n#key=hash\r\nk=v ; not a comment\r\n"},
      {"duplicates", "[S]\r\nk=first\r\nk=second\r\n[T]\r\nk=t\r\n[S]\r\nk=again\r\nkey=only in second\r\n"
                     "[s]\r\nj=lower\r\n"},
      {"no equals", "[S]\r\nk\r\nk=later\r\nkey\r\n j \r\n[T]\r\nk=v\r\n"},
      {"empty values", "[S]\r\nk=\r\nkey=   \r\nj=\"\"\r\n"},
      {"long values",
       "[S]\r\nk=" + Long(258, 'a') + "\r\nkey=" + Long(259, 'b') + "\r\nj=" + Long(260, 'c') + "\r\nj2=" +
           Long(300, 'd') + "\r\nq=\"" + Long(258, 'e') + "\"\r\nq2=\"" + Long(259, 'f') + "\"\r\nq3=\"" +
           Long(257, 'g') + "\"\r\n"},
      {"line ends", "[S]\nk=unix\n[T]\rk=mac\r[U]\r\nk=dos\r\n"},
      {"cr only", "[S]\rk=v\rkey=value\r"},
      {"no final end", "[S]\r\nk=v"},
      {"before section", "k=orphan\r\n[S]\r\nkey=v\r\n"},
      {"odd headers", "[S\r\nk=unclosed\r\n[S]trailing\r\nkey=after\r\n[a]b]\r\nk=nested\r\n[ T ]\r\nk=spaced\r\n"
                      "[]\r\nk=empty\r\n"},
      {"equals in value", "[S]\r\nk=a=b\r\nkey==v\r\n=noname\r\n"},
      {"inner spaces", "[S]\r\na b=c\r\nk  =v\r\n[App 1]\r\nk=v\r\n"},
      {"not found", "[S]\r\nk=NOT FOUND\r\nkey=\"NOT FOUND\"\r\n"},
      {"control bytes", "[S]\r\nk=v\x1a\r\nkey=\x1avalue\r\n\x0bj=vt\x0c\r\n"},
      {"high bytes", "[S]\r\nk=caf\xe9\r\nkey=\xa0nbsp\xa0\r\n[\xc4]\r\nk=upper\r\n"},
      {"utf8 mark", "\xef\xbb\xbf[S]\r\nk=v\r\n"},
      {"blank lines", "\r\n\r\n   \r\n[S]\r\n\r\nk=v\r\n\r\n"},
      {"empty", ""},
      {"case", "[s]\r\nK=upper key\r\n[T]\r\nKEY=v\r\nkey=lower\r\n"},
      {"zero bytes", std::string("[S]\r\nk=a\0b\r\nke\0y=v\r\n[T\0U]\r\nk=t\r\n", 32)},
      {"utf16", std::string("\xff\xfe[\0S\0]\0\r\0\n\0k\0=\0v\0\r\0\n\0", 22)},
      {"many", [] {
         std::string text;
         for (int i = 0; i < 300; ++i) text += "[S" + std::to_string(i) + "]\r\nk=" + std::to_string(i) + "\r\n";
         return text + "[T]\r\nk=end\r\n";
       }()},
      {"real config",
       "[GeneralOptions]\r\nMainAppCmdLine = /qb ALL=1\r\nOptions=q\r\n\r\n[PREREQUISITES]\r\nApp1=Runtime 2.0\r\n"
       "App2 = \"Fonts\"\r\n\r\n[App1]\r\nTargetOS=1\r\nSetupFile=rt.exe\r\nSearchType=2\r\n"
       "SearchString=HKLM\\Software\\Vendor\\Runtime\\Version\r\n[App2]\r\nUrl=http://example.test/f.exe\r\n"},
  };
}

const char* const kSections[] = {"S", "s", " S ", "T", " T ", "U", "App 1", "a]b", "[S", "", "\xc4", "\xe4",
                                 "GeneralOptions", "PREREQUISITES", "App1", "App2", "missing"};
const char* const kKeys[] = {"k", "K", "key", "KEY", " k ", "j", "j2", "m", "e", "q", "q2", "q3", "i", "n", "sq",
                             ";k", "#key", "a b", "a", "[S", "noname", "missing", "MainAppCmdLine", "Options",
                             "App1", "App2", "TargetOS", "SetupFile", "Url", "SearchType", "SearchString"};
const uint32_t kSizes[] = {260, 8, 2, 1};

// Every lookup over every corpus file gives the same text and count from
// both readers, a missing file included.
TEST(ProfileParityTest, OwnReaderAgreesWithTheSystem) {
  testing::ScratchFolder scratch("parity");
  const std::string& folder = scratch.path();
  std::vector<CorpusFile> corpus = Corpus();
  corpus.push_back({"missing file", ""});
  Win32ProfileReader system;
  FileProfileReader own(SystemFileSystem());
  int compared = 0;
  int mismatches = 0;
  for (size_t f = 0; f < corpus.size(); ++f) {
    std::string path = folder + "\\corpus" + std::to_string(f) + ".ini";
    bool missing = f + 1 == corpus.size();
    if (!missing) ASSERT_TRUE(testing::WriteText(path, corpus[f].text));
    for (const char* section : kSections) {
      for (const char* key : kKeys) {
        for (uint32_t size : kSizes) {
          char expected[400];
          char got[400];
          memset(expected, 0x55, sizeof expected);
          memset(got, 0x55, sizeof got);
          uint32_t expectedCount = system.ReadString(path.c_str(), section, key, "NOT FOUND", expected, size);
          uint32_t gotCount = own.ReadString(path.c_str(), section, key, "NOT FOUND", got, size);
          ++compared;
          if (expectedCount != gotCount || memcmp(expected, got, expectedCount + 1) != 0) {
            if (++mismatches <= 60) {
              ADD_FAILURE() << corpus[f].name << " [" << section << "] " << key << " size " << size << ": system "
                            << expectedCount << " '" << std::string(expected, expectedCount) << "', own " << gotCount
                            << " '" << std::string(got, gotCount) << "'";
            }
          }
        }
      }
    }
    DeleteFileA(path.c_str());
  }
  EXPECT_EQ(mismatches, 0) << "of " << compared << " lookups";
  printf("[ parity   ] %d lookups over %u files, %d differ\n", compared, static_cast<unsigned>(corpus.size()),
         mismatches);
}

}  // namespace
}  // namespace korvelt
