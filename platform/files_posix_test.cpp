#include "platform/files_posix.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/system_files.h"
#include "testing/planted_names.h"

namespace korvelt {
namespace {

namespace fs = std::filesystem;
using testing::Existing;
using testing::ReadAll;
using testing::WriteAll;

class PosixFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() / ("korvelt-files-test-" + std::to_string(::getpid()) + "-" +
                                          ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
    fs::create_directories(folder / "out");
  }
  void TearDown() override { fs::remove_all(folder); }

  fs::path folder;
};

// Creates `path` and writes "new" into it, as an extraction does.
bool CreateAndWrite(FileSystem& files, const fs::path& path) {
  return testing::WithoutBlocking(path, [&] {
    FileId file = files.CreateForWriting(path.c_str());
    if (!file) return false;
    uint32_t done = 0;
    bool written = files.Write(file, "new", 3, &done) && done == 3;
    files.Close(file);
    return written;
  });
}

// A file is created only where the name is free; a taken name is replaced
// only when it is a plain file and replacing was asked for; a link, a FIFO
// or a folder of that name is never opened, whatever was asked.
TEST_F(PosixFilesTest, CreateNeverOpensWhatIsAlreadyThere) {
  struct Case {
    Existing existing;
    TakenName taken;
    bool created;
  } cases[] = {
      {Existing::Nothing, TakenName::Refuse, true},
      {Existing::Nothing, TakenName::ReplacePlainFile, true},
      {Existing::PlainFile, TakenName::Refuse, false},
      {Existing::PlainFile, TakenName::ReplacePlainFile, true},
      {Existing::LinkToFileOutside, TakenName::Refuse, false},
      {Existing::LinkToFileOutside, TakenName::ReplacePlainFile, false},
      {Existing::DanglingLink, TakenName::Refuse, false},
      {Existing::DanglingLink, TakenName::ReplacePlainFile, false},
      {Existing::Fifo, TakenName::Refuse, false},
      {Existing::Fifo, TakenName::ReplacePlainFile, false},
      {Existing::Folder, TakenName::Refuse, false},
      {Existing::Folder, TakenName::ReplacePlainFile, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(testing::Describe(c.existing)) + (c.taken == TakenName::Refuse ? "" : ", replacing"));
    fs::remove_all(folder / "out");
    fs::create_directory(folder / "out");
    fs::path path = folder / "out" / "entry.msi";
    fs::path outside = folder / "outside.txt";
    fs::remove(outside);
    testing::Plant(c.existing, path, outside);

    PosixFileSystem files(c.taken);
    EXPECT_EQ(CreateAndWrite(files, path), c.created);
    if (c.created) {
      EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path)));
      EXPECT_EQ(ReadAll(path), "new");
    } else {
      testing::ExpectUntouched(c.existing, path, outside);
    }
  }
}

// Reading opens a plain file, also through a link, and never waits: a FIFO
// (which would wait for a writer), a folder or nothing give no file.
TEST_F(PosixFilesTest, ReadingOpensOnlyAPlainFile) {
  struct Case {
    Existing existing;
    bool opened;
  } cases[] = {{Existing::Nothing, false}, {Existing::PlainFile, true}, {Existing::LinkToFileOutside, true},
               {Existing::DanglingLink, false}, {Existing::Fifo, false}, {Existing::Folder, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Describe(c.existing));
    fs::path path = folder / "out" / "setup.exe";
    fs::path outside = folder / "outside.txt";
    fs::remove_all(path);
    fs::remove(outside);
    testing::Plant(c.existing, path, outside);
    PosixFileSystem files;
    bool opened = testing::WithoutBlocking(path, [&] {
      FileId file = files.OpenForReading(path.c_str());
      if (!file) return false;
      char byte;
      uint32_t done = 0;
      bool read = files.Read(file, &byte, 1, &done);
      files.Close(file);
      return read;
    });
    EXPECT_EQ(opened, c.opened);
  }
}

// The machine's service refuses a taken name unless asked to replace.
TEST_F(PosixFilesTest, SystemFileSystemRefusesATakenNameByDefault) {
  fs::path path = folder / "out" / "entry.msi";
  WriteAll(path, "old contents");
  EXPECT_FALSE(CreateAndWrite(SystemFileSystem(), path));
  EXPECT_EQ(ReadAll(path), "old contents");
  EXPECT_TRUE(CreateAndWrite(SystemFileSystem(TakenName::ReplacePlainFile), path));
  EXPECT_EQ(ReadAll(path), "new");
}

// The program's own path is the running executable's, whole.
TEST(ProgramPathTest, IsTheRunningExecutable) {
  String path;
  ASSERT_TRUE(SystemProgramPath(&path));
  EXPECT_EQ(path.c_str()[0], '/');
  EXPECT_TRUE(fs::equivalent(path.c_str(), program_invocation_name)) << path.c_str();
}

class PosixUpdateTest : public ::testing::Test {
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
TEST_F(PosixUpdateTest, UpdateTruncateAndFind) {
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
