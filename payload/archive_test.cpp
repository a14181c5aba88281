#include "payload/archive.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "base/little_endian.h"
#include "testing/code_page.h"
#include "testing/fake_files.h"
#include "testing/payload_builder.h"

namespace korvelt {
namespace {

using testing::Bytes;
using testing::TestEntry;

constexpr char kExe[] = "C:\\Downloads\\setup.exe";
// The fake's random bytes count up from 0, so the first run folder is this.
constexpr char kRunFolder[] = "C:\\Temp\\korvelt-0001020304050607";

class ArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    files.folders = {"C:", "C:\\Temp", "C:\\Downloads", "C:\\Out"};
  }
  void Install(const Bytes& payload) { files.files[kExe] = payload; }
  std::string InRun(const char* name) { return std::string(kRunFolder) + "\\" + name; }

  testing::FakeFileSystem files;
  testing::FakeProcessInfo process;
};

// A normal run writes the main files into its own folder and removes all.
TEST_F(ArchiveTest, NormalRunExtractsMainFilesAndCleansUp) {
  Install(testing::WorkedPayload());
  PayloadArchive archive(files, process);
  ASSERT_EQ(archive.OpenForRun(), PayloadError::Ok);
  EXPECT_STREQ(archive.exePath().c_str(), kExe);
  EXPECT_EQ(archive.extractFolder().c_str(), std::string(kRunFolder) + "\\");
  EXPECT_STREQ(archive.mainBaseName().c_str(), "Product1.0");
  EXPECT_EQ(files.files.size(), 1u) << "nothing is written before it is asked for";

  ASSERT_EQ(archive.ExtractMainFiles(), PayloadError::Ok);
  auto worked = testing::WorkedEntries();
  EXPECT_EQ(files.files[InRun("Product1.0.msi")], worked[0].data);
  EXPECT_EQ(files.files[InRun("Data01.cab")], worked[1].data);
  EXPECT_EQ(files.flushes, 2);

  archive.CleanUp();
  EXPECT_EQ(files.deleted, (std::vector<std::string>{InRun("Product1.0.msi"), InRun("Data01.cab")}));
  EXPECT_EQ(files.removedFolders, std::vector<std::string>{kRunFolder});
  EXPECT_EQ(files.openHandles(), 0);
}

// The run folder is new: one of that name already there is never reused.
TEST_F(ArchiveTest, ExistingRunFolderIsNeverReused) {
  Install(testing::WorkedPayload());
  files.folders.insert(kRunFolder);
  PayloadArchive archive(files, process);
  ASSERT_EQ(archive.OpenForRun(), PayloadError::Ok);
  EXPECT_STRNE(archive.extractFolder().c_str(), (std::string(kRunFolder) + "\\").c_str());
  archive.CleanUp();
  EXPECT_TRUE(files.folders.count(kRunFolder)) << "a folder this run did not make stays";
}

TEST_F(ArchiveTest, MissingTempFolderOrRandomIsNoPath) {
  Install(testing::WorkedPayload());
  {
    process.hasTempFolder = false;
    PayloadArchive archive(files, process);
    EXPECT_EQ(archive.OpenForRun(), PayloadError::NoPath);
    archive.CleanUp();
  }
  {
    process.hasTempFolder = true;
    process.hasRandom = false;
    PayloadArchive archive(files, process);
    EXPECT_EQ(archive.OpenForRun(), PayloadError::NoPath);
    archive.CleanUp();
  }
  EXPECT_EQ(files.openHandles(), 0);
}

// Without its own path the opening fails as a file that cannot be opened.
TEST_F(ArchiveTest, MissingOwnPathIsIo) {
  Install(testing::WorkedPayload());
  process.hasModulePath = false;
  PayloadArchive archive(files, process);
  EXPECT_EQ(archive.OpenForRun(), PayloadError::Io);
  archive.CleanUp();
  EXPECT_TRUE(files.removedFolders.size() <= 1);
}

// The configuration is written at opening and names the main package.
TEST_F(ArchiveTest, ConfigurationIsWrittenAtOpeningAndNamesTheMainPackage) {
  std::vector<TestEntry> entries = testing::WorkedEntries();
  entries.push_back({PrereqConfig, "B.ini", Bytes{'[', 'x', ']'}});
  Install(testing::BuildPayload(77824, entries, HasPrerequisites));
  PayloadArchive archive(files, process);
  ASSERT_EQ(archive.OpenForRun(), PayloadError::Ok);
  EXPECT_EQ(archive.configPath().c_str(), InRun("B.ini"));
  EXPECT_STREQ(archive.mainBaseName().c_str(), "B");
  EXPECT_EQ(files.files[InRun("B.ini")], (Bytes{'[', 'x', ']'}));
  EXPECT_TRUE(archive.IsExtracted(2));
  // The main extraction skips what is already written.
  ASSERT_EQ(archive.ExtractMainFiles(), PayloadError::Ok);
  EXPECT_EQ(files.flushes, 3);
  archive.CleanUp();
  EXPECT_EQ(files.deleted.size(), 3u);
  EXPECT_EQ(files.deleted[2], InRun("B.ini")) << "deleted in table order";
}

// HasPrerequisites without a configuration entry cannot open.
TEST_F(ArchiveTest, PrerequisitesWithoutConfigurationIsIo) {
  Install(testing::WorkedPayload(HasPrerequisites));
  PayloadArchive archive(files, process);
  EXPECT_EQ(archive.OpenForRun(), PayloadError::Io);
  archive.CleanUp();
  EXPECT_TRUE(files.deleted.empty());
}

// The configuration file that cannot be written fails the opening.
TEST_F(ArchiveTest, ConfigurationThatCannotBeWrittenFailsTheOpening) {
  std::vector<TestEntry> entries = {{PrereqConfig, "B.ini", Bytes(5, 'x')}};
  Install(testing::BuildPayload(4096, entries, HasPrerequisites));
  files.failCreate.insert(InRun("B.ini"));
  PayloadArchive archive(files, process);
  EXPECT_EQ(archive.OpenForRun(), PayloadError::Io);
  EXPECT_EQ(archive.entries().Count(), 1u) << "the table stays read";
  archive.CleanUp();
  EXPECT_TRUE(files.deleted.empty());
}

// Without a configuration the last MainPackage entry names the package.
TEST_F(ArchiveTest, LastMainPackageNamesThePackage) {
  Install(testing::BuildPayload(4096, {{MainPackage, "one.msi", Bytes(1, 1)}, {MainPackage, "second.msi", Bytes(1, 2)}, {OnDemand, "x.exe", Bytes(1, 3)}}, 0));
  PayloadArchive archive(files, process);
  ASSERT_EQ(archive.OpenForRun(), PayloadError::Ok);
  EXPECT_STREQ(archive.mainBaseName().c_str(), "second");
  // Four characters or fewer leave no base name.
  archive.CleanUp();
}

// The main extraction writes the package and both kinds of support file,
// nothing else.
TEST_F(ArchiveTest, MainFilesAreThePackageAndItsSupportFiles) {
  Install(testing::BuildPayload(4096, {{MainPackage, "a.msi", Bytes(1, 1)}, {MainSupport, "b.cab", Bytes(1, 2)},
                                       {MainSupportToo, "c.cab", Bytes(1, 3)}, {PrereqConfig, "a.ini", Bytes(1, 4)},
                                       {OnDemand, "d.exe", Bytes(1, 5)}, {OnDemand + 5, "e.exe", Bytes(1, 6)}},
                                0));
  PayloadArchive archive(files, process);
  ASSERT_EQ(archive.OpenForRun(), PayloadError::Ok);
  ASSERT_EQ(archive.ExtractMainFiles(), PayloadError::Ok);
  std::vector<bool> extracted;
  for (size_t i = 0; i < archive.entries().Count(); ++i) extracted.push_back(archive.IsExtracted(i));
  EXPECT_EQ(extracted, (std::vector<bool>{true, true, true, false, false, false}));
  archive.CleanUp();
}

// ExternalFiles: the files lie beside the bootstrapper; nothing is written
// or deleted, and no run folder is made.
TEST_F(ArchiveTest, ExternalFilesUsesTheBootstrapperFolder) {
  process.modulePath = "C:\\Downloads\\N.exe";
  files.files["C:\\Downloads\\N.exe"] = testing::WorkedPayload(ExternalFiles | HasPrerequisites);
  PayloadArchive archive(files, process);
  ASSERT_EQ(archive.OpenForRun(), PayloadError::Ok);
  EXPECT_STREQ(archive.extractFolder().c_str(), "C:\\Downloads\\");
  EXPECT_STREQ(archive.configPath().c_str(), "C:\\Downloads\\N.ini");
  EXPECT_STREQ(archive.mainBaseName().c_str(), "N");
  EXPECT_EQ(archive.ExtractMainFiles(), PayloadError::Ok);
  EXPECT_EQ(archive.ExtractNamed("Data01.cab"), PayloadError::Ok);
  archive.CleanUp();
  EXPECT_EQ(files.files.size(), 1u);
  EXPECT_TRUE(files.deleted.empty());
  EXPECT_EQ(files.folders.size(), 4u);
}

// Copies go through one 65,536-byte buffer: sizes at the buffer's edges.
TEST_F(ArchiveTest, CopiesAtTheBufferEdges) {
  struct Case {
    size_t size;
    std::vector<uint32_t> writes;
  } cases[] = {{0, {}}, {1, {1}}, {65535, {65535}}, {65536, {65536}}, {65537, {65536, 1}}, {131073, {65536, 65536, 1}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    testing::FakeFileSystem local;
    local.folders = {"C:", "C:\\Temp", "C:\\Downloads"};
    Bytes data = testing::Pattern(c.size, 7);
    local.files[kExe] = testing::BuildPayload(4096, {{MainPackage, "a.msi", data}}, 0);
    PayloadArchive archive(local, process);
    ASSERT_EQ(archive.OpenForRun(), PayloadError::Ok);
    local.writeSizes.clear();
    ASSERT_EQ(archive.ExtractMainFiles(), PayloadError::Ok);
    EXPECT_EQ(local.writeSizes, c.writes);
    EXPECT_EQ(local.files[archive.extractFolder().c_str() + std::string("a.msi")], data);
    EXPECT_TRUE(archive.IsExtracted(0)) << "an empty file counts as extracted";
    archive.CleanUp();
  }
}

// A copy that stops short is an error, and the short file is still deleted.
TEST_F(ArchiveTest, ShortCopiesAreReportedAndStillCleanedUp) {
  Install(testing::WorkedPayload());
  PayloadArchive archive(files, process);
  ASSERT_EQ(archive.OpenForRun(), PayloadError::Ok);
  files.writeCapacity = 100000;  // the disk fills during the first file
  EXPECT_EQ(archive.ExtractMainFiles(), PayloadError::Io);
  EXPECT_TRUE(archive.IsExtracted(0));
  EXPECT_FALSE(archive.IsExtracted(1)) << "the walk ends at the first failure";
  EXPECT_EQ(files.files[InRun("Product1.0.msi")].size(), 100000u);
  archive.CleanUp();
  EXPECT_EQ(files.deleted, std::vector<std::string>{InRun("Product1.0.msi")});
}

// A file whose flush fails may not be on the disk whole: Io, and the file
// is still this run's to delete.
TEST_F(ArchiveTest, FailedFlushIsIoAndStillCleanedUp) {
  Install(testing::WorkedPayload());
  PayloadArchive archive(files, process);
  ASSERT_EQ(archive.OpenForRun(), PayloadError::Ok);
  files.failFlush = true;
  EXPECT_EQ(archive.ExtractMainFiles(), PayloadError::Io);
  EXPECT_EQ(files.flushes, 1) << "the walk ends at the first failure";
  EXPECT_TRUE(archive.IsExtracted(0));
  EXPECT_EQ(files.openHandles(), 1) << "only the payload file is open";
  archive.CleanUp();
  EXPECT_EQ(files.deleted, std::vector<std::string>{InRun("Product1.0.msi")});
  EXPECT_EQ(files.removedFolders, std::vector<std::string>{kRunFolder});
}

// A payload whose entry data cannot be read gives Io, not a short success.
TEST_F(ArchiveTest, ReadFailureDuringACopyIsIo) {
  Install(testing::WorkedPayload());
  PayloadArchive archive(files, process);
  ASSERT_EQ(archive.OpenForRun(), PayloadError::Ok);
  files.readFailsAfter = static_cast<long long>(files.bytesRead) + 70000;
  EXPECT_EQ(archive.ExtractMainFiles(), PayloadError::Io);
  archive.CleanUp();
}

// An entry whose data lie outside the file leaves an empty, unmarked file.
TEST_F(ArchiveTest, EntryOutsideTheFileCannotBePositioned) {
  Bytes payload = testing::BuildPayload(4096, {{MainPackage, "a.msi", Bytes(10, 1)}}, 0);
  // The first head follows the 4096-byte stub and 10 data bytes.
  StoreLe32(payload.data() + 4096 + 10 + kEntryOffsetAt, 0xFFFFFFF0u);
  Install(payload);
  PayloadArchive archive(files, process);
  ASSERT_EQ(archive.OpenForRun(), PayloadError::Ok);
  EXPECT_EQ(archive.ExtractMainFiles(), PayloadError::Io);
  EXPECT_FALSE(archive.IsExtracted(0));
  archive.CleanUp();
  EXPECT_TRUE(files.deleted.empty());
}

// ExtractNamed writes once; an unknown name is Io and changes nothing.
TEST_F(ArchiveTest, ExtractNamedWritesOnceAndRefusesUnknownNames) {
  Install(testing::BuildPayload(4096, {{OnDemand, "pre.exe", Bytes(10, 1)}, {OnDemand, "other.exe", Bytes(5, 2)}}, 0));
  PayloadArchive archive(files, process);
  ASSERT_EQ(archive.OpenForRun(), PayloadError::Ok);
  EXPECT_EQ(archive.ExtractNamed("pre.exe"), PayloadError::Ok);
  EXPECT_EQ(archive.ExtractNamed("pre.exe"), PayloadError::Ok);
  EXPECT_EQ(files.flushes, 1);
  EXPECT_EQ(archive.ExtractNamed("PRE.EXE"), PayloadError::Io) << "names compare exactly";
  EXPECT_EQ(archive.ExtractNamed(""), PayloadError::Io);
  EXPECT_FALSE(archive.IsExtracted(1));
  archive.CleanUp();
  EXPECT_EQ(files.deleted.size(), 1u);
}

// Files this run did not write are never deleted, nor kept files.
TEST_F(ArchiveTest, CleanUpDeletesOnlyWhatThisRunWrote) {
  Install(testing::WorkedPayload());
  PayloadArchive archive(files, process);
  ASSERT_EQ(archive.OpenForRun(), PayloadError::Ok);
  files.failCreate.insert(InRun("Product1.0.msi"));
  EXPECT_EQ(archive.ExtractMainFiles(), PayloadError::Io);
  archive.CleanUp();
  EXPECT_TRUE(files.deleted.empty());
}

// A file that cannot be deleted is passed over; the rest still go.
TEST_F(ArchiveTest, UndeletableFileIsPassedOver) {
  Install(testing::WorkedPayload());
  PayloadArchive archive(files, process);
  ASSERT_EQ(archive.OpenForRun(), PayloadError::Ok);
  ASSERT_EQ(archive.ExtractMainFiles(), PayloadError::Ok);
  files.failDelete.insert(InRun("Product1.0.msi"));
  archive.CleanUp();
  EXPECT_EQ(files.deleted, std::vector<std::string>{InRun("Data01.cab")});
  EXPECT_TRUE(files.removedFolders.empty()) << "a folder that is not empty stays";
}

// Extract mode copies every kind into the named folder and keeps them.
TEST_F(ArchiveTest, ExtractAllWritesEveryKind) {
  Install(testing::BuildPayload(4096, {{MainPackage, "a.msi", Bytes(3, 1)}, {PrereqConfig, "a.ini", Bytes(2, 2)}, {OnDemand + 5, "x.exe", Bytes(4, 3)}}, HasPrerequisites));
  PayloadArchive archive(files, process);
  ASSERT_EQ(archive.OpenForExtract("C:\\Out"), PayloadError::Ok);
  EXPECT_STREQ(archive.extractFolder().c_str(), "C:\\Out\\");
  EXPECT_EQ(archive.ExtractAll(), PayloadError::Ok);
  archive.KeepFiles();
  archive.CleanUp();
  EXPECT_EQ(files.files.count("C:\\Out\\a.msi") + files.files.count("C:\\Out\\a.ini") + files.files.count("C:\\Out\\x.exe"), 3u);
  EXPECT_TRUE(files.deleted.empty());
}

// Extract mode into a missing folder: nothing written, the file closed once.
TEST_F(ArchiveTest, ExtractAllIntoMissingFolderFailsAtTheFirstEntry) {
  Install(testing::WorkedPayload());
  PayloadArchive archive(files, process);
  ASSERT_EQ(archive.OpenForExtract("C:\\Nowhere\\"), PayloadError::Ok);
  EXPECT_EQ(archive.ExtractAll(), PayloadError::Io);
  EXPECT_EQ(files.openHandles(), 0) << "the walk closes the payload file";
  archive.KeepFiles();
  archive.CleanUp();
  EXPECT_EQ(files.files.size(), 1u);
}

// Damaged payloads close the file and leave no entries.
TEST_F(ArchiveTest, FailedOpeningsLeaveNoEntries) {
  Bytes badVersion = testing::WorkedPayload();
  StoreLe32(badVersion.data() + badVersion.size() - kFooterSize + kFooterVersionAt, 101);
  Bytes badName = testing::BuildPayload(4096, {{MainPackage, "a.msi", Bytes(1, 1)}, {OnDemand, "..", Bytes(1, 1)}}, 0);
  Bytes sameName = testing::BuildPayload(4096, {{MainPackage, "a.msi", Bytes(1, 1)}, {OnDemand, "A.msi", Bytes(1, 2)}}, 0);
  struct Case {
    const char* what;
    Bytes payload;
    PayloadError expected;
  } cases[] = {{"version 101", badVersion, PayloadError::BadVersion},
               {"no payload", Bytes(5000, 'M'), PayloadError::Io},
               {"a name that leaves the folder", badName, PayloadError::Corrupt},
               {"two names for one file", sameName, PayloadError::Corrupt}};
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    Install(c.payload);
    PayloadArchive archive(files, process);
    EXPECT_EQ(archive.OpenForExtract("C:\\Out\\"), c.expected);
    EXPECT_EQ(archive.entries().Count(), 0u);
    EXPECT_EQ(files.openHandles(), 0);
    EXPECT_EQ(archive.ExtractAll(), PayloadError::Ok) << "finds nothing to write";
    archive.CleanUp();
  }
  EXPECT_EQ(files.files.size(), 1u);
}

TEST_F(ArchiveTest, ExeFolderDropsTheTrailingBackslash) {
  Install(testing::WorkedPayload());
  PayloadArchive archive(files, process);
  ASSERT_EQ(archive.OpenForExtract("C:\\Out"), PayloadError::Ok);
  String folder;
  ASSERT_TRUE(archive.ExeFolder(&folder));
  EXPECT_STREQ(folder.c_str(), "C:\\Downloads");
  archive.CleanUp();
}

// In code page 932 "\x95\x5C" is one character whose trail byte looks
// like a backslash: folders and names are cut at whole characters only.
TEST_F(ArchiveTest, DoubleByteFolderGetsItsOwnBackslash) {
  files.folders.insert("C:\\\x95\x5C");
  Install(testing::WorkedPayload());
  PayloadArchive archive(files, process, testing::CodePage932Lead);
  ASSERT_EQ(archive.OpenForExtract("C:\\\x95\x5C"), PayloadError::Ok);
  EXPECT_STREQ(archive.extractFolder().c_str(), "C:\\\x95\x5C\\");
  EXPECT_EQ(archive.ExtractAll(), PayloadError::Ok);
  archive.KeepFiles();
  archive.CleanUp();
  EXPECT_EQ(files.files.count("C:\\\x95\x5C\\Data01.cab"), 1u);
}

// A bootstrapper named with such a character finds its own folder.
TEST_F(ArchiveTest, DoubleByteExecutableNameFindsItsFolder) {
  process.modulePath = "C:\\Downloads\\\x95\x5C.exe";
  files.files[process.modulePath] = testing::WorkedPayload(ExternalFiles);
  PayloadArchive archive(files, process, testing::CodePage932Lead);
  ASSERT_EQ(archive.OpenForRun(), PayloadError::Ok);
  EXPECT_STREQ(archive.extractFolder().c_str(), "C:\\Downloads\\");
  EXPECT_STREQ(archive.configPath().c_str(), "C:\\Downloads\\\x95\x5C.ini");
  EXPECT_STREQ(archive.mainBaseName().c_str(), "\x95\x5C");
  String folder;
  ASSERT_TRUE(archive.ExeFolder(&folder));
  EXPECT_STREQ(folder.c_str(), "C:\\Downloads");
  archive.CleanUp();
}

// The main package's base name drops four whole characters, never half of
// one ("\x82\xA0" is one character).
TEST_F(ArchiveTest, BaseNameDropsWholeCharacters) {
  struct Case {
    const char* config;
    const char* baseName;
  } cases[] = {{"\x82\xA0.ini", "\x82\xA0"}, {"\x82\xA0" "abc", ""}, {"x\x82\xA0" "abc", "x"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.config);
    Install(testing::BuildPayload(4096, {{PrereqConfig, c.config, Bytes(1, 1)}}, 0));
    PayloadArchive archive(files, process, testing::CodePage932Lead);
    ASSERT_EQ(archive.OpenForExtract("C:\\Out"), PayloadError::Ok);
    EXPECT_STREQ(archive.mainBaseName().c_str(), c.baseName);
    archive.CleanUp();
  }
}

// Paths past what the system's buffers hold are refused, not cut.
TEST_F(ArchiveTest, OverlongTargetPathIsRefused) {
  std::string longName(250, 'n');
  Install(testing::BuildPayload(4096, {{MainPackage, longName + ".msi", Bytes(1, 1)}}, 0));
  PayloadArchive archive(files, process);
  ASSERT_EQ(archive.OpenForRun(), PayloadError::Ok);
  EXPECT_EQ(archive.ExtractMainFiles(), PayloadError::Io);
  archive.CleanUp();
  EXPECT_EQ(files.files.size(), 1u);
}

// The fake under these tests fails loudly on a misuse: inside a test as a
// test failure, elsewhere (a fuzz target) by aborting.
TEST(FakeFileSystemTest, MisuseFailsTheTestOrAborts) {
  testing::FakeFileSystem inside;
  EXPECT_FALSE(inside.abortOnMisuse) << "made inside a test";
  inside.files["a"] = Bytes(1, 1);
  FileId file = inside.OpenForReading("a");
  inside.Close(file);
  EXPECT_NONFATAL_FAILURE(inside.Close(file), "file closed twice");
  uint32_t done = 0;
  char byte = 0;
  EXPECT_NONFATAL_FAILURE(inside.Read(file, &byte, 1, &done), "not open");

  auto misuse = [](void (*use)(testing::FakeFileSystem&)) {
    testing::FakeFileSystem outside;
    outside.abortOnMisuse = true;
    outside.files["a"] = Bytes(1, 1);
    use(outside);
  };
  EXPECT_DEATH(misuse([](testing::FakeFileSystem& f) {
                 FileId id = f.OpenForReading("a");
                 f.Close(id);
                 f.Close(id);
               }),
               "file closed twice");
  EXPECT_DEATH(misuse([](testing::FakeFileSystem& f) {
                 uint64_t size = 0;
                 f.Size(7, &size);
               }),
               "not open");
  EXPECT_DEATH(misuse([](testing::FakeFileSystem& f) { f.OpenForReading("a"); }), "file left open: a");
}

}  // namespace
}  // namespace korvelt
