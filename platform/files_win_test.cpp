#include "platform/files_win.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "testing/win32/scratch_folder.h"

namespace korvelt {
namespace {

// A file opened for update is made when missing and kept when present, at
// its first byte; Truncate ends it where the position is; FindFile sees
// files only, with their exact size even while one is open for writing.
TEST(Win32FilesTest, UpdateTruncateAndFind) {
  testing::ScratchFolder scratch("files");
  Win32FileSystem files;
  std::string path = scratch.path() + "\\part.exe";
  uint64_t size = 0;
  EXPECT_FALSE(files.FindFile(path.c_str(), &size));

  bool existed = true;
  FileId file = files.OpenForUpdate(path.c_str(), &existed);
  ASSERT_NE(file, 0u);
  EXPECT_FALSE(existed);
  uint32_t done = 0;
  ASSERT_TRUE(files.Write(file, "0123456789", 10, &done));
  ASSERT_TRUE(files.FindFile(path.c_str(), &size));
  EXPECT_EQ(size, 10u);
  // Shared with nobody while it is written.
  bool other = false;
  EXPECT_EQ(files.OpenForUpdate(path.c_str(), &other), 0u);
  files.Close(file);

  file = files.OpenForUpdate(path.c_str(), &existed);
  ASSERT_NE(file, 0u);
  EXPECT_TRUE(existed);
  ASSERT_TRUE(files.Write(file, "ab", 2, &done));
  ASSERT_TRUE(files.FindFile(path.c_str(), &size));
  EXPECT_EQ(size, 10u) << "opened at the first byte, nothing cut";
  ASSERT_TRUE(files.Truncate(file));
  files.Close(file);
  ASSERT_TRUE(files.FindFile(path.c_str(), &size));
  EXPECT_EQ(size, 2u);

  std::string folder = scratch.MakeFolder("sub.exe");
  EXPECT_FALSE(files.FindFile(folder.c_str(), &size));
  EXPECT_EQ(files.OpenForUpdate((scratch.path() + "\\missing\\x.exe").c_str(), &existed), 0u);
}

}  // namespace
}  // namespace korvelt
