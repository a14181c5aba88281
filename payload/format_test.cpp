#include "payload/format.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "base/little_endian.h"
#include "testing/code_page.h"
#include "testing/fake_files.h"
#include "testing/payload_builder.h"

namespace korvelt {
namespace {

using testing::Bytes;
using testing::FakeFileSystem;

class FooterTest : public ::testing::Test {
 protected:
  PayloadError Read(const Bytes& bytes) {
    files.files["setup.exe"] = bytes;
    FileId file = files.OpenForReading("setup.exe");
    PayloadError result = ReadFooter(files, file, &footer, &baseShift);
    if (result == PayloadError::Ok) {
      tableResult = ReadTable(files, file, footer, baseShift, &entries, &names);
    }
    files.Close(file);
    return result;
  }

  // Reads the footer and the table of `bytes`; the table's result.
  PayloadError ReadBuiltTable(const Bytes& bytes, LeadByteTest isLead = NoLeadBytes) {
    entries.Clear();
    names.Clear();
    files.files["setup.exe"] = bytes;
    FileId file = files.OpenForReading("setup.exe");
    PayloadError result = ReadFooter(files, file, &footer, &baseShift);
    if (result == PayloadError::Ok) result = ReadTable(files, file, footer, baseShift, &entries, &names, isLead);
    files.Close(file);
    return result;
  }

  FakeFileSystem files;
  PayloadFooter footer;
  int32_t baseShift = -1;
  PayloadError tableResult = PayloadError::Io;
  List<PayloadEntry> entries;
  List<String> names;
};

// The worked payload reads in one 2048-byte window, with its two entries.
TEST_F(FooterTest, WorkedPayloadReadsInOneWindow) {
  Bytes bytes = testing::WorkedPayload();
  ASSERT_EQ(bytes.size(), 1439635u);
  ASSERT_EQ(Read(bytes), PayloadError::Ok);
  EXPECT_EQ(baseShift, 0);
  EXPECT_EQ(footer.entryCount, 2u);
  EXPECT_EQ(footer.footerOffset, 1439599u);
  EXPECT_EQ(footer.tableOffset, 1439543u);
  EXPECT_EQ(footer.dataOffset, 77824u);
  ASSERT_EQ(tableResult, PayloadError::Ok);
  ASSERT_EQ(entries.Count(), 2u);
  EXPECT_STREQ(names[0].c_str(), "Product1.0.msi");
  EXPECT_EQ(entries[0].offset, 77824u);
  EXPECT_EQ(entries[0].size, 229376u);
  EXPECT_EQ(entries[0].nameLength, 14u);
  EXPECT_STREQ(names[1].c_str(), "Data01.cab");
  EXPECT_EQ(entries[1].kind, uint32_t{MainSupport});
  EXPECT_EQ(entries[1].offset, 307200u);
  // The footer search read exactly one window before the footer itself.
  ASSERT_GE(files.readSizes.size(), 2u);
  EXPECT_EQ(files.readSizes[0], 2048u);
  EXPECT_EQ(files.readSizes[1], 36u);
}

// Bytes appended behind the footer move the magic within window 1, or into
// window 2, which begins 4106 bytes before the end.
TEST_F(FooterTest, BytesAppendedBehindTheFooterAreSkipped) {
  for (size_t appended : {100u, 2000u, 2026u, 2027u, 3000u, 5000u}) {
    SCOPED_TRACE(appended);
    Bytes bytes = testing::WorkedPayload();
    bytes.resize(bytes.size() + appended, 0xEE);
    files.readSizes.clear();
    entries.Clear();
    names.Clear();
    ASSERT_EQ(Read(bytes), PayloadError::Ok);
    EXPECT_EQ(baseShift, 0);
    EXPECT_EQ(tableResult, PayloadError::Ok);
    EXPECT_EQ(entries.Count(), 2u);
  }
  // With 3000 bytes the first window misses and the second finds it.
  Bytes bytes = testing::WorkedPayload();
  bytes.resize(bytes.size() + 3000, 0xEE);
  files.readSizes.clear();
  entries.Clear();
  names.Clear();
  ASSERT_EQ(Read(bytes), PayloadError::Ok);
  EXPECT_EQ(files.readSizes[0], 2048u);
  EXPECT_EQ(files.readSizes[1], 2048u);
  EXPECT_EQ(files.readSizes[2], 36u);
}

// Every position of the magic lies whole inside some window: consecutive
// windows overlap by the magic's length.
TEST_F(FooterTest, MagicAtEveryDistanceFromTheEndIsFound) {
  Bytes worked = testing::WorkedPayload();
  for (size_t appended = 2000; appended < 2100; ++appended) {
    SCOPED_TRACE(appended);
    Bytes bytes = worked;
    bytes.resize(bytes.size() + appended, 0xEE);
    entries.Clear();
    names.Clear();
    ASSERT_EQ(Read(bytes), PayloadError::Ok);
    EXPECT_EQ(tableResult, PayloadError::Ok);
  }
}

// Window 2 begins 4086 bytes before the end: the magic 3012 bytes before
// the end is at its position 1074.
TEST_F(FooterTest, SecondWindowBeginsWhereTheFirstOverlapsIt) {
  Bytes bytes = testing::WorkedPayload();
  bytes.resize(bytes.size() + 3000, 0xEE);
  uint64_t seen = 0;
  files.files["setup.exe"] = bytes;
  FileId file = files.OpenForReading("setup.exe");
  ASSERT_TRUE(files.SeekFromEnd(file, 4086, &seen));
  files.Close(file);
  uint64_t magicAt = bytes.size() - 3012;
  EXPECT_EQ(magicAt - seen, 1074u);
  ASSERT_EQ(Read(bytes), PayloadError::Ok);
}

// 512 bytes inserted in front of the payload shift every stored offset.
TEST_F(FooterTest, InsertedBytesGiveABaseShift) {
  Bytes bytes = testing::WorkedPayload();
  bytes.insert(bytes.begin(), 512, 'X');
  ASSERT_EQ(Read(bytes), PayloadError::Ok);
  EXPECT_EQ(baseShift, 512);
  ASSERT_EQ(tableResult, PayloadError::Ok);
  EXPECT_STREQ(names[1].c_str(), "Data01.cab");
}

TEST_F(FooterTest, VersionOtherThan100IsRefused) {
  Bytes bytes = testing::WorkedPayload();
  StoreLe32(bytes.data() + bytes.size() - kFooterSize + kFooterVersionAt, 101);
  EXPECT_EQ(Read(bytes), PayloadError::BadVersion);
}

// Without a magic the search walks back to the start and fails there.
TEST_F(FooterTest, NoMagicAnywhereIsIo) {
  EXPECT_EQ(Read(Bytes(10000, 'A')), PayloadError::Io);
  EXPECT_EQ(Read(Bytes(2047, 'A')), PayloadError::Io);
  EXPECT_EQ(Read(Bytes()), PayloadError::Io);
}

// A footer that the file cuts short is no footer, even when the marker is
// whole: the read must bring all 36 bytes.
TEST_F(FooterTest, FooterCutShortIsIo) {
  for (size_t cut : {1u, 2u}) {
    SCOPED_TRACE(cut);
    Bytes bytes = testing::WorkedPayload();
    bytes.resize(bytes.size() - cut);
    files.readSizes.clear();
    EXPECT_EQ(Read(bytes), PayloadError::Io);
    EXPECT_EQ(files.readSizes.back(), kFooterSize) << "the footer was asked for whole";
  }
}

// A footer at offset 0 is passed over; the search goes on and fails.
TEST_F(FooterTest, FooterAtTheStartIsPassedOver) {
  Bytes bytes = testing::BuildPayload(0, {}, 0);
  bytes.resize(2048, 0);
  EXPECT_EQ(Read(bytes), PayloadError::Io);
}

// An earlier magic inside a name is taken; the footer read 24 bytes before
// it then holds no version 100.
TEST_F(FooterTest, EarlyMagicInANameIsTaken) {
  Bytes bytes = testing::BuildPayload(4096, {{MainPackage, "aKORVELTSFXb.msi", Bytes(10, 1)}}, 0);
  EXPECT_EQ(Read(bytes), PayloadError::BadVersion);
}

TEST_F(FooterTest, FooterFieldsOutOfRangeAreCorrupt) {
  Bytes bytes = testing::WorkedPayload();
  StoreLe32(bytes.data() + bytes.size() - kFooterSize + kFooterFooterOffsetAt, 0x80000000u);
  EXPECT_EQ(Read(bytes), PayloadError::Corrupt);
}

TEST_F(FooterTest, EmptyTableIsNotRead) {
  Bytes bytes = testing::BuildPayload(4096, {}, HasPrerequisites);
  ASSERT_EQ(Read(bytes), PayloadError::Ok);
  EXPECT_EQ(footer.options, HasPrerequisites);
  EXPECT_EQ(tableResult, PayloadError::Ok);
  EXPECT_EQ(entries.Count(), 0u);
}

// Table damage: each case names the byte patched and the result expected.
TEST_F(FooterTest, DamagedTablesAreRefused) {
  struct Case {
    const char* what;
    size_t fieldInFirstHead;
    uint32_t value;
    PayloadError expected;
  } cases[] = {
      {"nameLength 0", kEntryNameLengthAt, 0, PayloadError::Io},
      {"nameLength huge", kEntryNameLengthAt, 0xFFFFFFFFu, PayloadError::Io},
      {"nameLength past the end", kEntryNameLengthAt, 100000, PayloadError::Io},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes bytes = testing::WorkedPayload();
    StoreLe32(bytes.data() + 1439543 + c.fieldInFirstHead, c.value);
    entries.Clear();
    names.Clear();
    ASSERT_EQ(Read(bytes), PayloadError::Ok);
    EXPECT_EQ(tableResult, c.expected);
  }
}

TEST_F(FooterTest, EntryCountBeyondTheFileIsIo) {
  for (uint32_t count : {3u, 1000u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(count);
    Bytes bytes = testing::WorkedPayload();
    StoreLe32(bytes.data() + bytes.size() - kFooterSize + kFooterEntryCountAt, count);
    entries.Clear();
    names.Clear();
    ASSERT_EQ(Read(bytes), PayloadError::Ok);
    EXPECT_EQ(tableResult, PayloadError::Io);
  }
}

TEST_F(FooterTest, TableOffsetOutsideTheFileIsIo) {
  Bytes bytes = testing::WorkedPayload();
  StoreLe32(bytes.data() + bytes.size() - kFooterSize + kFooterTableOffsetAt, 0x7FFFFFF0u);
  ASSERT_EQ(Read(bytes), PayloadError::Ok);
  EXPECT_EQ(tableResult, PayloadError::Io);
}

// Two names that one folder takes for the same file refuse the table:
// ASCII letters fold, other bytes (whose case depends on the code page)
// compare as they are, and so do both bytes of a double-byte character.
TEST_F(FooterTest, NamesEqualIgnoringCaseAreCorrupt) {
  struct Case {
    std::vector<std::string> names;
    LeadByteTest isLead;
    PayloadError expected;
  } cases[] = {
      {{"a.msi", "b.msi", "a.cab"}, NoLeadBytes, PayloadError::Ok},
      {{"a.msi", "b.msi", "a.msi"}, NoLeadBytes, PayloadError::Corrupt},
      {{"Setup.MSI", "x", "setup.msi"}, NoLeadBytes, PayloadError::Corrupt},
      {{"a", "A"}, NoLeadBytes, PayloadError::Corrupt},
      {{"ab", "abc"}, NoLeadBytes, PayloadError::Ok},
      {{"\xe9.msi", "\xc9.msi"}, NoLeadBytes, PayloadError::Ok},
      {{"[.msi", "{.msi"}, NoLeadBytes, PayloadError::Ok},
      {{"\x83\x41.txt", "\x83\x61.txt"}, testing::CodePage932Lead, PayloadError::Ok},
      {{"\x83\x41.txt", "\x83\x61.txt"}, NoLeadBytes, PayloadError::Corrupt},
      {{"\x83\x41" "A.txt", "\x83\x41" "a.txt"}, testing::CodePage932Lead, PayloadError::Corrupt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.names.front() << " ... " << c.names.back());
    std::vector<testing::TestEntry> table;
    for (const std::string& name : c.names) table.push_back({OnDemand, name, Bytes(1, 1)});
    EXPECT_EQ(ReadBuiltTable(testing::BuildPayload(4096, table, 0), c.isLead), c.expected);
  }
}

// A table of very many names is checked in n log n steps: sorted, not
// compared pair by pair.
TEST_F(FooterTest, ManyNamesAreCheckedBySorting) {
  std::vector<testing::TestEntry> table;
  for (int i = 0; i < 100000; ++i) table.push_back({OnDemand, "n" + std::to_string(i), Bytes()});
  EXPECT_EQ(ReadBuiltTable(testing::BuildPayload(4096, table, 0)), PayloadError::Ok);
  EXPECT_EQ(entries.Count(), table.size());
  table.push_back({OnDemand, "N0", Bytes()});
  EXPECT_EQ(ReadBuiltTable(testing::BuildPayload(4096, table, 0)), PayloadError::Corrupt);
}

// Names that would write outside the extraction folder, or that Windows
// would not store as written, refuse the table.
TEST_F(FooterTest, NamesWithFolderPartsAreCorrupt) {
  for (const char* name : {"..", ".", "..\\evil.dll", "sub\\a.msi", "a/b.msi", "C:a.msi", "a\tb", "a\x01.msi",
                           "con.txt", "LPT1", "a.msi.", "a?b"}) {
    SCOPED_TRACE(name);
    Bytes bytes = testing::BuildPayload(4096, {{OnDemand, name, Bytes(3, 1)}}, 0);
    entries.Clear();
    names.Clear();
    ASSERT_EQ(Read(bytes), PayloadError::Ok);
    EXPECT_EQ(tableResult, PayloadError::Corrupt);
  }
}

// The marker is built at run time; it must still be the ten letters.
TEST(FooterEncodingTest, MagicIsTheMarker) {
  unsigned char magic[kMagicSize];
  PayloadMagic(magic);
  EXPECT_EQ(std::string(magic, magic + kMagicSize), "KORVELTSFX");
}

// Each footer and head field lands at its named offset, little-endian.
TEST(FooterEncodingTest, FieldsLieAtTheirOffsets) {
  PayloadFooter footer;
  footer.entryCount = 0x04030201;
  footer.version = kPayloadVersion;
  footer.footerOffset = 0x0C0B0A09;
  footer.tableOffset = 0x100F0E0D;
  footer.dataOffset = 0x14131211;
  footer.options = 0x18171615;
  unsigned char out[kFooterSize];
  memset(out, 0xCC, sizeof out);
  EncodeFooter(footer, out);
  const unsigned char expected[kFooterSize] = {1,    2,    3,    4,    100,  0,    0,    0,    9,
                                               10,   11,   12,   13,   14,   15,   16,   17,   18,
                                               19,   20,   21,   22,   23,   24,   'K',  'O',  'R',
                                               'V',  'E',  'L',  'T',  'S',  'F',  'X',  0,    0};
  EXPECT_EQ(Bytes(out, out + kFooterSize), Bytes(expected, expected + kFooterSize));

  PayloadEntry entry;
  entry.kind = PrereqConfig;
  entry.size = 0x08070605;
  entry.offset = 0x0C0B0A09;
  entry.nameLength = 0x100F0E0D;
  unsigned char head[kEntryHeadSize];
  EncodeEntryHead(entry, head);
  const unsigned char expectedHead[kEntryHeadSize] = {3, 0, 0, 0, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  EXPECT_EQ(Bytes(head, head + kEntryHeadSize), Bytes(expectedHead, expectedHead + kEntryHeadSize));
}

TEST(ShiftedOffsetTest, StaysInsideWhatAPayloadDescribes) {
  uint32_t at = 0;
  EXPECT_TRUE(ShiftedOffset(100, -100, &at));
  EXPECT_EQ(at, 0u);
  EXPECT_FALSE(ShiftedOffset(100, -101, &at));
  EXPECT_FALSE(ShiftedOffset(0x7FFFFFFFu, 1, &at));
  EXPECT_TRUE(ShiftedOffset(0x7FFFFFFEu, 1, &at));
}

}  // namespace
}  // namespace korvelt
