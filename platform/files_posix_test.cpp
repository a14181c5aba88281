#include "platform/files_posix.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace korvelt {
namespace {

class PosixFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "korvelt-files-XXXXXX";
    ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
    folder = pattern;
  }
  void TearDown() override {
    unlink((folder + "/f").c_str());
    rmdir((folder + "/d").c_str());
    rmdir(folder.c_str());
  }
  void Write(FileId file, const char* text) {
    uint32_t done = 0;
    ASSERT_TRUE(files.Write(file, text, static_cast<uint32_t>(strlen(text)), &done));
  }
  uint64_t SizeOf(const std::string& path) {
    uint64_t size = 12345;
    EXPECT_TRUE(files.FindFile(path.c_str(), &size));
    return size;
  }

  PosixFileSystem files;
  std::string folder;
};

// A file opened for update is made when missing and kept when present, at
// its first byte; Truncate ends it where the position is; FindFile sees
// files only.
TEST_F(PosixFilesTest, UpdateTruncateAndFind) {
  std::string path = folder + "/f";
  uint64_t size = 0;
  EXPECT_FALSE(files.FindFile(path.c_str(), &size));
  bool existed = true;
  FileId file = files.OpenForUpdate(path.c_str(), &existed);
  ASSERT_NE(file, 0u);
  EXPECT_FALSE(existed);
  Write(file, "0123456789");
  files.Close(file);
  EXPECT_EQ(SizeOf(path), 10u);

  file = files.OpenForUpdate(path.c_str(), &existed);
  ASSERT_NE(file, 0u);
  EXPECT_TRUE(existed);
  Write(file, "ab");
  EXPECT_EQ(SizeOf(path), 10u) << "opened at the first byte, nothing cut";
  ASSERT_TRUE(files.Truncate(file));
  files.Close(file);
  EXPECT_EQ(SizeOf(path), 2u);

  ASSERT_EQ(mkdir((folder + "/d").c_str(), 0700), 0);
  EXPECT_FALSE(files.FindFile((folder + "/d").c_str(), &size));
  EXPECT_EQ(files.OpenForUpdate((folder + "/missing/f").c_str(), &existed), 0u);
}

}  // namespace
}  // namespace korvelt
